// pelm: seal, open, encrypt and decrypt on the command line, with the
// library's own exported functions, so its output is the library's.
#include <android/log.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "aes_common/cpu_features.h"
#include "pelm/envelope.h"
#include "pelm/text_cipher.h"
#include "pelm/version.h"
#include "secret_text.h"

namespace {

using pelm::cli::append_text;
using pelm::cli::wipe_text;
using pelm::cli::WipeOnExit;

// The library opens data of at most this many bytes whose zlib stream is at
// most as long.
constexpr size_t kLargestOpenedText = 16772159;

const char kUsage[] =
    "usage: pelm COMMAND [options]\n"
    "\n"
    "Commands (the operations of PelmTools.method01 to method04):\n"
    "  seal     zlib, AES-256-CFB128 and Base64: data in, envelope text out\n"
    "  open     the envelope text in, the sealed data out (bytes as sealed)\n"
    "  encrypt  AES-128-CBC with PKCS #7 padding: text in, lowercase hex out\n"
    "  decrypt  the hex in, the text out\n"
    "\n"
    "Key and IV: for seal/open, 64 and 32 hex digits; for encrypt/decrypt, raw\n"
    "text of which the first 16 bytes are used. From the first of:\n"
    "  --key-file FILE, --iv-file FILE   the file's content (one final line break dropped)\n"
    "  --key TEXT, --iv TEXT             WARNING: command lines are visible to\n"
    "                                    other users of the machine (ps, /proc)\n"
    "  PELM_KEY, PELM_IV                 environment, for seal and open\n"
    "  PELM_TEXT_KEY, PELM_TEXT_IV       environment, for encrypt and decrypt\n"
    "\n"
    "Options:\n"
    "  --in FILE    read the data from FILE (default: standard input)\n"
    "  --out FILE   write the result to the file FILE names (through symlinks):\n"
    "               a regular file is replaced whole or not at all, keeping its\n"
    "               mode, owner, group and ACL where allowed; a device, FIFO or\n"
    "               socket is written in place, never replaced; /dev/stdout and\n"
    "               /dev/fd/N are written through the descriptor (default:\n"
    "               standard output; a line break is added only on a terminal)\n"
    "  --force      seal data the library could not open again (more than\n"
    "               16772159 bytes, or a zlib stream that long), with a warning\n"
    "  --help       this text\n"
    "  --version    the version, the AES path this CPU gets and where the\n"
    "               envelope's AES-256 comes from\n"
    "\n"
    "Exit status: 0 done, 1 the operation failed or was refused (the reason on\n"
    "standard error), 2 a usage error.\n";

[[noreturn]] void usage_error(const std::string& what) {
  std::fprintf(stderr, "pelm: %s\nTry 'pelm --help'.\n", what.c_str());
  std::exit(2);
}

// The temporary file of --out while it is being written: removed on a
// failure and on every signal whose default action ends the process
// (SIGKILL and SIGSTOP cannot be caught).
char g_temp_path[PATH_MAX + 16];
volatile sig_atomic_t g_temp_exists = 0;

void remove_temp() {
  if (g_temp_exists) unlink(g_temp_path);
  g_temp_exists = 0;
}

[[noreturn]] void fail(const std::string& what) {
  remove_temp();
  std::fprintf(stderr, "pelm: %s\n", what.c_str());
  std::exit(1);
}

void on_signal(int signal) {
  if (g_temp_exists) unlink(g_temp_path);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Every signal that ends the process by default, but the synchronous ones
// (a fault in the tool itself) and the two that cannot be caught.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGPIPE, SIGALRM, SIGTERM,
                                  SIGUSR1, SIGUSR2,   SIGPOLL, SIGPROF, SIGVTALRM, SIGXCPU,
                                  SIGXFSZ, SIGSTKFLT, SIGPWR,  SIGSYS,  SIGTRAP};

void warn(const std::string& what) { std::fprintf(stderr, "pelm: warning: %s\n", what.c_str()); }

// The library's last log record: its reason for a failure.
std::string g_reason;

void keep_reason(const __android_logger_data*, const char* message) { g_reason = message; }

bool read_all(int fd, std::string& out) {
  char buffer[1 << 16];
  WipeOnExit wipe_buffer{[&] { explicit_bzero(buffer, sizeof buffer); }};
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    append_text(out, buffer, static_cast<size_t>(n));
  }
}

// Replaces `content` with the file's bytes.
void read_file(const std::string& path, const char* what, std::string& content) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || !read_all(fd, content)) {
    wipe_text(content);
    fail(std::string("cannot read ") + what + " " + path + ": " + std::strerror(errno));
  }
  close(fd);
}

bool write_all(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The descriptor a name stands for: /dev/stdout, /dev/stderr, /dev/fd/N,
// /proc/self/fd/N or /proc/<this process>/fd/N; -1 for any other name.
// Their links name no file to write beside (a pipe, a socket, a file
// deleted or opened for appending), so such a name is written through the
// descriptor, as a shell's redirection would.
int descriptor_named(const std::string& path) {
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/";
  for (const std::string& folder : {std::string("/dev/fd/"), std::string("/proc/self/fd/"), own}) {
    if (path.compare(0, folder.size(), folder) != 0) continue;
    const std::string number = path.substr(folder.size());
    if (number.empty() || number.size() > 9 ||
        number.find_first_not_of("0123456789") != std::string::npos) {
      return -1;
    }
    return std::stoi(number);
  }
  return -1;
}

// Where a name leads: symlinks followed to their end, even when that end
// does not exist yet, or to a name that stands for a descriptor.
struct OutTarget {
  std::string path;
  int descriptor = -1;
};

OutTarget file_named_by(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    const int descriptor = descriptor_named(current);
    if (descriptor >= 0) return {current, descriptor};
    char target[PATH_MAX];
    const ssize_t n = readlink(current.c_str(), target, sizeof target - 1);
    if (n < 0) return {current};  // not a symlink (or not there): this is the file
    target[n] = '\0';
    if (target[0] == '/') {
      current = target;
    } else {
      const size_t slash = current.rfind('/');
      current = (slash == std::string::npos ? "" : current.substr(0, slash + 1)) + target;
    }
  }
  fail("cannot write " + path + ": too many levels of symbolic links");
}

// The ending signals held back while the temporary file comes and goes, so
// the handler always knows whether it exists.
class CaughtSignalsHeld {
 public:
  CaughtSignalsHeld() {
    sigset_t caught;
    sigemptyset(&caught);
    for (const int signal : kEndingSignals) sigaddset(&caught, signal);
    sigprocmask(SIG_BLOCK, &caught, &previous_);
  }
  ~CaughtSignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  CaughtSignalsHeld(const CaughtSignalsHeld&) = delete;
  CaughtSignalsHeld& operator=(const CaughtSignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

constexpr const char kAclName[] = "system.posix_acl_access";

// Gives the new file the old one's owner and group (as root, or a group the
// user is in; otherwise it stays the user's, and only the mode is kept), its
// mode after that (a change of owner clears the set-ID bits), then its ACL.
void keep_attributes(int fd, const std::string& target, const struct stat& existing,
                     const std::string& shown) {
  if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
    // Only root may give a file away; a user may still keep its group.
    const int group_kept = fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
    (void)group_kept;
  }
  if (fchmod(fd, existing.st_mode & 07777) != 0) {
    fail("cannot write " + shown + ": " + std::strerror(errno));
  }
  char acl[4096];
  const ssize_t n = getxattr(target.c_str(), kAclName, acl, sizeof acl);
  if (n > 0 && fsetxattr(fd, kAclName, acl, static_cast<size_t>(n), 0) != 0) {
    warn("the ACL of " + shown + " could not be kept: " + std::strerror(errno));
  }
}

// A device, FIFO or socket is written as open(2) writes it: in place, never
// replaced by a regular file.
void write_in_place(const std::string& target, const std::string& shown, const std::string& result) {
  const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) fail("cannot write " + shown + ": " + std::strerror(errno));
  struct stat opened;
  if (fstat(fd, &opened) != 0 || S_ISREG(opened.st_mode)) {
    close(fd);
    fail("cannot write " + shown + ": it changed while being opened");
  }
  const bool written = write_all(fd, result);
  const int saved = errno;
  close(fd);
  if (!written) fail("cannot write " + shown + ": " + std::strerror(saved));
}

// A regular file (or a name for one that is not there yet) is written
// through a temporary file beside the file the name leads to and renamed
// over it, so a reader never sees a partial result and a failure leaves the
// file as it was. A new file gets 0666 less the umask; a hard link to the
// old file keeps the old content.
// Standard output, or a descriptor --out names: written where it stands,
// in its own mode (appending, if it was opened so).
void write_to_descriptor(int fd, const std::string& shown, const std::string& result) {
  if (!write_all(fd, result) || (isatty(fd) && !write_all(fd, "\n"))) {
    fail("cannot write " + shown + ": " + std::strerror(errno));
  }
}

// NAME.XXXXXX beside the file, the name cut short where the whole would be
// longer than a file name may be.
std::string temporary_name_for(const std::string& target) {
  const size_t slash = target.rfind('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  constexpr size_t kSuffix = sizeof ".XXXXXX" - 1;
  const size_t kept = std::min(target.size() - base, size_t{NAME_MAX} - kSuffix);
  return target.substr(0, base + kept) + ".XXXXXX";
}

void write_result(const std::optional<std::string>& out_path, const std::string& result) {
  if (!out_path) {
    write_to_descriptor(STDOUT_FILENO, "the result", result);
    return;
  }
  const OutTarget named = file_named_by(*out_path);
  if (named.descriptor >= 0) {
    write_to_descriptor(named.descriptor, *out_path, result);
    return;
  }
  const std::string& target = named.path;
  struct stat existing;
  const bool exists = stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode)) {
    write_in_place(target, *out_path, result);
    return;
  }
  const std::string temp = temporary_name_for(target);
  if (temp.size() >= sizeof g_temp_path) fail("cannot write " + *out_path + ": the name is too long");
  int fd;
  {
    CaughtSignalsHeld held;
    std::memcpy(g_temp_path, temp.c_str(), temp.size() + 1);
    fd = mkstemp(g_temp_path);
    if (fd >= 0) g_temp_exists = 1;
  }
  if (fd < 0) fail("cannot create a file beside " + target + ": " + std::strerror(errno));
  if (exists) {
    keep_attributes(fd, target, existing, *out_path);
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) fail("cannot write " + *out_path + ": " + std::strerror(errno));
  }
  const bool written = write_all(fd, result) && fsync(fd) == 0;
  const int saved = errno;
  close(fd);
  if (!written) fail("cannot write " + *out_path + ": " + std::strerror(saved));
  CaughtSignalsHeld held;
  if (rename(g_temp_path, target.c_str()) != 0) {
    fail("cannot write " + *out_path + ": " + std::strerror(errno));
  }
  g_temp_exists = 0;
}

struct Options {
  std::string command;
  std::optional<std::string> key, iv, in, out;
  bool force = false;
  bool text_cipher() const { return command == "encrypt" || command == "decrypt"; }
};

std::string take_value(int& i, int argc, char** argv) {
  if (i + 1 >= argc) usage_error(std::string(argv[i]) + " needs a value");
  return argv[++i];
}

// In place: a copy would leave the text behind in the memory it came from.
void drop_final_line_break(std::string& s) {
  if (!s.empty() && s.back() == '\n') s.pop_back();
  if (!s.empty() && s.back() == '\r') s.pop_back();
}

// The key or IV from a file, the command line or the environment, in that
// order. The text cipher reads its own variables, never the envelope's.
std::string key_source(const std::optional<std::string>& file, std::optional<std::string>& text,
                       const Options& o, const char* what, const char* option) {
  if (file) {
    std::string content;
    read_file(*file, what, content);
    drop_final_line_break(content);
    return content;
  }
  if (text) return std::move(*text);
  const char* variable = o.text_cipher() ? (option[2] == 'k' ? "PELM_TEXT_KEY" : "PELM_TEXT_IV")
                                         : (option[2] == 'k' ? "PELM_KEY" : "PELM_IV");
  if (const char* value = std::getenv(variable)) return value;
  std::string why = std::string("no ") + (option[2] == 'k' ? "key" : "IV") + ": give " + option +
                    "-file, " + option + " or " + variable;
  const char* envelope_variable = option[2] == 'k' ? "PELM_KEY" : "PELM_IV";
  if (o.text_cipher() && std::getenv(envelope_variable)) {
    why += std::string(" (") + envelope_variable + " holds the envelope's hex " +
           (option[2] == 'k' ? "key" : "IV") + "; " + o.command + " does not read it)";
  }
  usage_error(why);
}

Options parse(int argc, char** argv) {
  Options o;
  std::optional<std::string> key_text, iv_text, key_file, iv_file;
  WipeOnExit wipe{[&] {
    wipe_text(key_text);
    wipe_text(iv_text);
  }};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--version") {
      std::printf("pelm %s (libpelmLib; AES on this CPU: %s; envelope AES-256 and Base64: %s)\n",
                  PELM_VERSION, pelm::aes::aes_path_name(), PELM_CRYPTO_PROVIDER);
      std::exit(0);
    } else if (arg == "--key") {
      key_text = take_value(i, argc, argv);
    } else if (arg == "--iv") {
      iv_text = take_value(i, argc, argv);
    } else if (arg == "--key-file") {
      key_file = take_value(i, argc, argv);
    } else if (arg == "--iv-file") {
      iv_file = take_value(i, argc, argv);
    } else if (arg == "--in") {
      o.in = take_value(i, argc, argv);
    } else if (arg == "--out") {
      o.out = take_value(i, argc, argv);
    } else if (arg == "--force") {
      o.force = true;
    } else if (!arg.empty() && arg[0] == '-') {
      usage_error("unknown option " + arg);
    } else if (o.command.empty()) {
      o.command = arg;
    } else {
      usage_error("unexpected argument " + arg);
    }
  }
  if (o.command.empty()) usage_error("no command given");
  if (o.command != "seal" && o.command != "open" && !o.text_cipher()) {
    usage_error("unknown command " + o.command);
  }
  if (o.force && o.command != "seal") usage_error("--force is for seal only");
  o.key = key_source(key_file, key_text, o, "the key file", "--key");
  o.iv = key_source(iv_file, iv_text, o, "the IV file", "--iv");
  return o;
}

// The text cipher's results are secret too (decrypt's is the plaintext).
struct WipingFree {
  void operator()(char* p) const {
    explicit_bzero(p, std::strlen(p));
    std::free(p);
  }
};

bool all_hex(const std::string& text) {
  return text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// Bytes of the payload an envelope text decodes to (before the trailer is
// read): three per four characters, less the padding.
long payload_length(const std::string& envelope) {
  const size_t end = envelope.find_last_not_of(" \t\r\n-") + 1;
  size_t begin = envelope.find_first_not_of(" \t");
  if (begin == std::string::npos || end == 0) return 0;
  long padding = 0;
  for (size_t i = end; i > begin && envelope[i - 1] == '='; --i) ++padding;
  return static_cast<long>((end - begin) / 4 * 3) - padding;
}

// The library's reason for a failed seal or open, with plain words beside it.
std::string why_it_failed(const Options& o, const std::string& data) {
  const bool sealing = o.command == "seal";
  if (g_reason == "Input error") {
    return "the key text must be 64 hex digits and the IV text 32; they are " +
           std::to_string(o.key->size()) + " and " + std::to_string(o.iv->size()) +
           " characters (Input error)";
  }
  if (g_reason == "base64 error") return "not an envelope: not one line of standard Base64 (base64 error)";
  if (g_reason == "gzip error") {
    return sealing ? "zlib could not compress the data (gzip error)"
                   : "the envelope asks for more than the " + std::to_string(kLargestOpenedText) +
                         " bytes the library opens, or it is damaged (gzip error)";
  }
  if (!g_reason.empty()) {
    return "wrong key or IV, or a damaged envelope (" + g_reason + ")";
  }
  if (!sealing && payload_length(data) <= 4) return "too short to be an envelope";
  return "out of memory";
}

// The length of the zlib stream inside an envelope the library made.
size_t stream_length(const std::string& envelope) {
  return static_cast<size_t>(payload_length(envelope)) - 4;
}

std::string run(const Options& o, const std::string& data) {
  const std::string& key = *o.key;
  const std::string& iv = *o.iv;
  std::string result;
  if (o.command == "seal" || o.command == "open") {
    const bool sealing = o.command == "seal";
    if (!all_hex(key)) warn("the key text holds characters that are not hex digits; each reads as -1, which gives another key");
    if (!all_hex(iv)) warn("the IV text holds characters that are not hex digits; each reads as -1, which gives another IV");
    if (sealing && data.size() > kLargestOpenedText && !o.force) {
      fail("seal refused: " + std::to_string(data.size()) + " bytes of data, and the library opens at most " +
           std::to_string(kLargestOpenedText) + " (--force seals anyway)");
    }
    g_reason.clear();
    if (!(sealing ? myEncrypt : myDecrypt)(key, iv, data, result)) {
      fail(o.command + " failed: " + why_it_failed(o, data));
    }
    if (sealing) {
      const size_t stream = stream_length(result);
      const bool openable = data.size() <= kLargestOpenedText && stream <= kLargestOpenedText;
      if (!openable && !o.force) {
        fail("seal refused: the zlib stream of these " + std::to_string(data.size()) + " bytes is " +
             std::to_string(stream) + " bytes, and the library opens streams of at most " +
             std::to_string(kLargestOpenedText) + " (--force seals anyway)");
      }
      if (!openable) {
        warn("sealed with --force: " + std::to_string(data.size()) + " bytes of data, a zlib stream of " +
             std::to_string(stream) + " bytes; the library opens at most " + std::to_string(kLargestOpenedText) +
             " of each, so it cannot open this envelope");
      }
    }
    return result;
  }
  // The text cipher reads 16 bytes of key and IV, and takes a text.
  if (key.size() < 16 || iv.size() < 16) {
    fail(o.command + " failed: the key and the IV need at least 16 bytes each; they have " +
         std::to_string(key.size()) + " and " + std::to_string(iv.size()));
  }
  if (data.find('\0') != std::string::npos) {
    fail(o.command + " failed: the data holds a zero byte, and the text cipher takes text");
  }
  const auto* k = reinterpret_cast<const uint8_t*>(key.data());
  const auto* v = reinterpret_cast<const uint8_t*>(iv.data());
  std::unique_ptr<char, WipingFree> out(o.command == "encrypt" ? ll11l1l1ll(k, v, data.c_str())
                                                                 : ll11lll11l(k, v, data.c_str()));
  if (!out) {
    fail(o.command == "decrypt" ? "decrypt failed: the data is not hex (an even number of "
                                  "hex digits, nothing else)"
                                : "encrypt failed: the text is too long or memory ran out");
  }
  return out.get();
}

int run_command(int argc, char** argv) {
  Options options = parse(argc, argv);
  std::string data, result;
  WipeOnExit wipe{[&] {
    wipe_text(options.key);
    wipe_text(options.iv);
    wipe_text(data);
    wipe_text(result);
  }};
  __android_log_set_logger(keep_reason);
  for (const int signal : kEndingSignals) std::signal(signal, on_signal);
  if (options.in) {
    read_file(*options.in, "the input", data);
  } else if (!read_all(STDIN_FILENO, data)) {
    fail(std::string("cannot read standard input: ") + std::strerror(errno));
  }
  // Hex and Base64 from a file or a pipe often end in a line break.
  if (options.command == "decrypt") drop_final_line_break(data);
  result = run(options, data);
  write_result(options.out, result);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Memory runs out on input larger than the machine can hold: say so and
  // exit, never abort (a core file would hold the key).
  try {
    return run_command(argc, argv);
  } catch (const std::bad_alloc&) {
    fail("out of memory (the input and its result must fit in memory)");
  }
}
