# x86-64 built by the host's compiler against the host's libraries, with the
# tests run under qemu-x86_64, so the suites can run on a CPU model other
# than the host's (QEMU_CPU picks it; make test-table-path uses one without
# SSSE3 or AES-NI).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-x86_64)
