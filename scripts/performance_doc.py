#!/usr/bin/env python3
"""Writes docs/performance.md from one run of `make bench` (its JSON) and
`make bench-java` (its printed table), with the machine they ran on.

Usage: performance_doc.py BENCH_JSON BENCH_JAVA_OUTPUT > docs/performance.md"""
import datetime
import os
import platform
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bench"))
import ratios  # noqa: E402

# (group, library row, reference row) -> (target ratio, why it is the target)
NATIVE_TARGETS = {
    ("block_encrypt_with_key", "library", "openssl_software"):
        (0.3, "a one-block call is its key expansion, a few instructions on AES-NI; "
              "the clearing after it must stay small"),
    ("block_decrypt_with_key", "library", "openssl_software"):
        (0.5, "as encryption, plus the inverse key schedule"),
    ("block_encrypt_with_key", "library_software", "openssl_software"):
        (2.5, "constant time costs the table lookups' speed"),
    ("block_decrypt_with_key", "library_software", "openssl_software"):
        (2.5, "the same"),
    ("cbc_encrypt_64KiB", "library", "evp"):
        (1.3, "CBC encryption is serial on both sides"),
    ("cbc_decrypt_64KiB", "library", "evp"):
        (2.0, "eight blocks in flight on both sides"),
    ("ctr_64KiB", "library", "evp"):
        (2.0, "the same"),
    ("cfb256_encrypt_64KiB", "library", "evp"):
        (1.15, "CFB encryption is serial on both sides"),
    ("cfb256_decrypt_64KiB", "library", "evp"):
        (0.5, "the library decrypts eight blocks at once, EVP one"),
    ("seal_200B", "library", "zlib9_stream"):
        (1.0, "a stream sized to the text spares the 64 KiB clear that a reset of the "
              "full stream pays"),
    ("seal_4KiB", "library", "zlib9_stream"):
        (1.1, "zlib's work dominates; wiping must cost little"),
    ("seal_64KiB", "library", "zlib9_stream"):
        (1.06, "zlib's work"),
    ("open_4KiB", "library", "stages"):
        (0.7, "AES-256-CFB decryption runs eight blocks at once"),
    ("open_64KiB", "library", "stages"):
        (0.7, "the same"),
}

# bench-java label prefix -> (target against per-call Java, against kept objects, why)
JVM_TARGETS = {
    "seal (method01) 100 B": (0.7, 1.2, "the commonest call: below the code an app would "
                                         "write, near the code that keeps its objects"),
    "seal (method01) 1 KiB": (1.1, None, "zlib's work dominates"),
    "open (method02) 100 B": (0.8, None, "one JNI call against the JDK's several objects"),
    "encrypt (method03) 100 B": (0.7, None, "the engine on AES-NI and one hex pass"),
    "decrypt (method04) 100 B": (1.0, None, "the same"),
}


def machine():
    model = "?"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return model, platform.freedesktop_os_release().get("PRETTY_NAME", platform.system())


def native_section(path):
    ctx, repetitions, groups = ratios.load(path)
    out = [f"`make bench`: {ctx['num_cpus']} CPUs at {ctx['mhz_per_cpu']} MHz, medians of "
           f"{repetitions} repetitions interleaved at random; every library row beside its "
           "reference in the same run.", "",
           "| row | library | reference | ratio | target | why this target |",
           "|---|---|---|---|---|---|"]
    for group, mine, ref, t_mine, t_ref in ratios.pairs(groups):
        target, why = NATIVE_TARGETS.get((group, mine, ref), (None, ""))
        ratio = t_mine / t_ref
        mark = "" if target is None else (f"≤ {target}" + ("" if ratio <= target else " (missed)"))
        out.append(f"| {group} ({mine}) | {ratios.human(t_mine)} | {ref} {ratios.human(t_ref)} | "
                   f"{ratio:.2f} | {mark} | {why} |")
    return out


def jvm_section(path):
    with open(path) as f:
        text = f.read()
    lines = [l for l in text.splitlines() if l.startswith("|")]
    header = next((l for l in text.splitlines() if l.startswith("JVM ")), "")
    out = [f"`make bench-java`: {header}", "", "Microseconds per call; both sides give the same "
           "strings. The pure Java is what an app would write: `Deflater(9)`, `Cipher`, "
           "`Base64` or `HexFormat`, either made for every call or kept.", ""]
    out += ["| operation | native | Java, made per call | ratio | Java, kept objects | ratio | target |",
            "|---|---|---|---|---|---|---|"]
    for line in lines[2:]:
        cells = [c.strip() for c in line.strip("|").split("|")]
        label, ratio_call, ratio_kept = cells[0], float(cells[3]), float(cells[5])
        note = ""
        if label in JVM_TARGETS:
            per_call, kept, why = JVM_TARGETS[label]
            parts = [f"≤ {per_call} per call" + ("" if ratio_call <= per_call else " (missed)")]
            if kept is not None:
                parts.append(f"≤ {kept} kept" + ("" if ratio_kept <= kept else " (missed)"))
            note = "; ".join(parts) + ": " + why
        out.append("| " + " | ".join(cells[:6]) + f" | {note} |")
    return out


def main(bench_json, bench_java):
    model, system = machine()
    print("# Performance")
    print()
    print("For whoever weighs the library's cost: an app team choosing it over")
    print("plain Java, or a reviewer checking that leaving nothing behind stays")
    print("cheap. One run on one machine, written by `make performance-doc`")
    print("(`scripts/performance_doc.py`); run it again to refresh every number.")
    print("Timings are measured here, never asserted in tests.")
    print()
    print(f"Machine: {model}, {system}; measured {datetime.date.today().isoformat()}.")
    print()
    print("## Native (`make bench`)")
    print()
    print("\n".join(native_section(bench_json)))
    print()
    print("## Through the JVM (`make bench-java`)")
    print()
    print("\n".join(jvm_section(bench_java)))
    print()
    print("Other runs: `make bench BENCH_AES_INSTRUCTIONS=OFF` times the constant-time")
    print("software paths, `make bench BENCH_PROVIDER=openssl` the envelope on libcrypto,")
    print("`make bench-instr` counts instructions per byte under callgrind, and")
    print("`make ct-check` times the AES paths for leaks ([security.md](security.md)).")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
