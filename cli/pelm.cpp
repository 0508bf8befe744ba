// pelm: seal, open, encrypt and decrypt on the command line, with the
// library's own exported functions, so its output is the library's.
#include <android/log.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "aes_common/cpu_features.h"
#include "pelm/envelope.h"
#include "pelm/text_cipher.h"
#include "pelm/version.h"

namespace {

constexpr size_t kLargestOpenedText = 16772159;  // what the library opens at most

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
    "  PELM_KEY, PELM_IV                 environment variables\n"
    "\n"
    "Options:\n"
    "  --in FILE    read the data from FILE (default: standard input)\n"
    "  --out FILE   write the result to FILE, whole or not at all (default:\n"
    "               standard output; a line break is added only on a terminal)\n"
    "  --help       this text\n"
    "  --version    the version, the AES path this CPU gets and where the\n"
    "               envelope's AES-256 comes from\n"
    "\n"
    "Exit status: 0 done, 1 the operation failed (the library's reason on\n"
    "standard error), 2 a usage error.\n";

[[noreturn]] void usage_error(const std::string& what) {
  std::fprintf(stderr, "pelm: %s\nTry 'pelm --help'.\n", what.c_str());
  std::exit(2);
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "pelm: %s\n", what.c_str());
  std::exit(1);
}

// The library's last log record: its reason for a failure.
std::string g_reason;

void keep_reason(const __android_logger_data*, const char* message) { g_reason = message; }

bool read_all(int fd, std::string& out) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(buffer, static_cast<size_t>(n));
  }
}

std::string read_file(const std::string& path, const char* what) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::string content;
  if (fd < 0 || !read_all(fd, content)) {
    fail(std::string("cannot read ") + what + " " + path + ": " + std::strerror(errno));
  }
  close(fd);
  return content;
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

// Writes through a temporary file beside the target and renames it, so a
// reader never sees a partial result and a failure leaves no file.
void write_result(const std::optional<std::string>& out_path, const std::string& result) {
  if (!out_path) {
    const bool terminal = isatty(STDOUT_FILENO);
    if (!write_all(STDOUT_FILENO, terminal ? result + "\n" : result)) {
      fail(std::string("cannot write the result: ") + std::strerror(errno));
    }
    return;
  }
  std::string temp = *out_path + ".XXXXXX";
  const int fd = mkstemp(&temp[0]);
  if (fd < 0) fail("cannot create a file beside " + *out_path + ": " + std::strerror(errno));
  const bool written = write_all(fd, result) && fsync(fd) == 0;
  const int saved = errno;
  close(fd);
  if (!written || rename(temp.c_str(), out_path->c_str()) != 0) {
    const int error = written ? errno : saved;
    unlink(temp.c_str());
    fail("cannot write " + *out_path + ": " + std::strerror(error));
  }
}

struct Options {
  std::string command;
  std::optional<std::string> key, iv, in, out;
};

std::string take_value(int& i, int argc, char** argv) {
  if (i + 1 >= argc) usage_error(std::string(argv[i]) + " needs a value");
  return argv[++i];
}

std::string without_final_line_break(std::string s) {
  if (!s.empty() && s.back() == '\n') s.pop_back();
  if (!s.empty() && s.back() == '\r') s.pop_back();
  return s;
}

Options parse(int argc, char** argv) {
  Options o;
  std::optional<std::string> key_text, iv_text, key_file, iv_file;
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
    } else if (!arg.empty() && arg[0] == '-') {
      usage_error("unknown option " + arg);
    } else if (o.command.empty()) {
      o.command = arg;
    } else {
      usage_error("unexpected argument " + arg);
    }
  }
  if (o.command.empty()) usage_error("no command given");
  if (o.command != "seal" && o.command != "open" && o.command != "encrypt" &&
      o.command != "decrypt") {
    usage_error("unknown command " + o.command);
  }
  if (key_file) key_text = without_final_line_break(read_file(*key_file, "the key file"));
  if (iv_file) iv_text = without_final_line_break(read_file(*iv_file, "the IV file"));
  if (!key_text && std::getenv("PELM_KEY")) key_text = std::getenv("PELM_KEY");
  if (!iv_text && std::getenv("PELM_IV")) iv_text = std::getenv("PELM_IV");
  if (!key_text) usage_error("no key: give --key-file, --key or PELM_KEY");
  if (!iv_text) usage_error("no IV: give --iv-file, --iv or PELM_IV");
  o.key = key_text;
  o.iv = iv_text;
  return o;
}

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};

std::string run(const Options& o, const std::string& data) {
  const std::string& key = *o.key;
  const std::string& iv = *o.iv;
  std::string result;
  if (o.command == "seal" || o.command == "open") {
    const bool sealing = o.command == "seal";
    if (sealing && data.size() > kLargestOpenedText) {
      std::fprintf(stderr,
                   "pelm: warning: %zu bytes seal, but the library opens texts of at most "
                   "%zu bytes\n",
                   data.size(), kLargestOpenedText);
    }
    g_reason.clear();
    if (!(sealing ? myEncrypt : myDecrypt)(key, iv, data, result)) {
      std::string why = g_reason.empty() ? "the library gave no reason" : g_reason;
      if (!sealing && g_reason == "gzip error") {
        why += " (damaged, or a sealed text above the " + std::to_string(kLargestOpenedText) +
               " bytes the library opens)";
      }
      fail(o.command + " failed: " + why);
    }
    return result;
  }
  // The text cipher reads 16 bytes of key and IV, and takes a text.
  if (key.size() < 16 || iv.size() < 16) {
    fail(o.command + " failed: the key and the IV need at least 16 bytes each");
  }
  if (data.find('\0') != std::string::npos) {
    fail(o.command + " failed: the data holds a zero byte, and the text cipher takes text");
  }
  const auto* k = reinterpret_cast<const uint8_t*>(key.data());
  const auto* v = reinterpret_cast<const uint8_t*>(iv.data());
  std::unique_ptr<char, FreeDeleter> out(o.command == "encrypt" ? ll11l1l1ll(k, v, data.c_str())
                                                                 : ll11lll11l(k, v, data.c_str()));
  if (!out) {
    fail(o.command == "decrypt" ? "decrypt failed: the data is not hex (an even number of "
                                  "hex digits, nothing else)"
                                : "encrypt failed: the text is too long or memory ran out");
  }
  return out.get();
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  __android_log_set_logger(keep_reason);
  std::string data;
  if (options.in) {
    data = read_file(*options.in, "the input");
  } else if (!read_all(STDIN_FILENO, data)) {
    fail(std::string("cannot read standard input: ") + std::strerror(errno));
  }
  // Hex and Base64 from a file or a pipe often end in a line break.
  if (options.command == "decrypt") data = without_final_line_break(data);
  write_result(options.out, run(options, data));
  return 0;
}
