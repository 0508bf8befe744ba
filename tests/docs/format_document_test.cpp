// The worked examples of docs/envelope-format.md against the library, and
// its shell recipes run as a server would run them, so the document and the
// code cannot drift apart.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "envelope/envelope_internal.h"
#include "envelope_reference.h"
#include "jni/java_text.h"
#include "pelm/envelope.h"
#include "pelm/text_cipher.h"
#include "test_support.h"

using namespace pelm::test;

namespace {

using Example = std::map<std::string, std::string>;

// Every ```example block as "name: value" lines.
std::vector<Example> examples() {
  std::ifstream file(PELM_DOCS_DIR "/envelope-format.md");
  std::vector<Example> found;
  std::string line;
  bool inside = false;
  while (std::getline(file, line)) {
    if (line == "```example") {
      inside = true;
      found.emplace_back();
    } else if (inside && line == "```") {
      inside = false;
    } else if (inside) {
      const size_t colon = line.find(':');
      std::string value = colon + 1 < line.size() ? line.substr(colon + 2) : "";
      found.back()[line.substr(0, colon)] = value;
    }
  }
  return found;
}

// Every ```sh block: the script, and what it must print (its last line,
// "# " and the expected output).
struct Recipe {
  std::string script, expected;
};

std::vector<Recipe> recipes() {
  std::ifstream file(PELM_DOCS_DIR "/envelope-format.md");
  std::vector<Recipe> found;
  std::string line;
  bool inside = false;
  std::vector<std::string> lines;
  while (std::getline(file, line)) {
    if (line == "```sh") {
      inside = true;
      lines.clear();
    } else if (inside && line == "```") {
      inside = false;
      Recipe r;
      if (!lines.empty() && lines.back().rfind("# ", 0) == 0) {
        r.expected = lines.back().substr(2);
        lines.pop_back();
      }
      for (const auto& l : lines) r.script += l + "\n";
      found.push_back(r);
    } else if (inside) {
      lines.push_back(line);
    }
  }
  return found;
}

std::string trailer_of(size_t length) {
  std::string t;
  for (int shift = 24; shift >= 0; shift -= 8) t += static_cast<char>(length >> shift);
  return t;
}

}  // namespace

TEST(FormatDocument, WorkedExamplesMatchTheLibrary) {
  const std::vector<Example> all = examples();
  std::map<std::string, int> kinds;
  for (const Example& e : all) {
    const std::string kind = e.at("kind");
    ++kinds[kind];
    if (kind == "envelope") {
      const std::string data = from_hex(e.at("data (hex)"));
      const std::string stream = from_hex(e.at("zlib stream (hex)"));
      const std::string payload = from_hex(e.at("payload (hex)"));
      const std::string key = myHexLine(e.at("key text")), iv = myHexLine(e.at("iv text"));
      EXPECT_EQ(to_hex(zlib9(data)), to_hex(stream)) << e.at("envelope");
      EXPECT_EQ(to_hex(cfb256(key, iv, stream, true) + trailer_of(data.size())), to_hex(payload));
      EXPECT_EQ(base64(payload), e.at("envelope"));
      std::string sealed, opened;
      ASSERT_TRUE(myEncrypt(e.at("key text"), e.at("iv text"), data, sealed));
      EXPECT_EQ(sealed, e.at("envelope"));
      ASSERT_TRUE(myDecrypt(e.at("key text"), e.at("iv text"), e.at("envelope"), opened));
      EXPECT_EQ(opened, data);
    } else if (kind == "text cipher") {
      const std::string data = from_hex(e.at("data (hex)"));
      const std::string padded = from_hex(e.at("padded (hex)"));
      const size_t pad = 16 - data.size() % 16;
      EXPECT_EQ(to_hex(padded), to_hex(data + std::string(pad, static_cast<char>(pad))));
      char* hex = ll11l1l1ll(u8(e.at("key (text)")), u8(e.at("iv (text)")), data.c_str());
      ASSERT_NE(hex, nullptr);
      EXPECT_EQ(std::string(hex), e.at("ciphertext (hex)"));
      char* back = ll11lll11l(u8(e.at("key (text)")), u8(e.at("iv (text)")), hex);
      EXPECT_EQ(std::string(back), data);
      std::free(hex);
      std::free(back);
    } else if (kind == "java string") {
      std::vector<char16_t> units;
      std::istringstream in(e.at("utf-16"));
      for (std::string unit; in >> unit;) units.push_back(static_cast<char16_t>(std::stoul(unit, nullptr, 16)));
      std::string bytes(pelm::jni::java_text_length(units.data(), units.size()), '\0');
      pelm::jni::encode_java_text(units.data(), units.size(), &bytes[0]);
      EXPECT_EQ(to_hex(bytes), e.at("bytes (hex)"));
    } else {
      ADD_FAILURE() << "unknown example kind " << kind;
    }
  }
  // The document keeps examples of every kind.
  EXPECT_GE(kinds["envelope"], 3);
  EXPECT_GE(kinds["text cipher"], 1);
  EXPECT_GE(kinds["java string"], 1);
}

TEST(FormatDocument, ShellRecipesPrintWhatTheDocumentSays) {
  const std::vector<Recipe> all = recipes();
  ASSERT_GE(all.size(), 4u);  // decoding in Python and Java, sealing, opening
  char folder[] = "/tmp/pelm-recipes-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  for (const Recipe& r : all) {
    ASSERT_FALSE(r.expected.empty()) << "a recipe without its expected output:\n" << r.script;
    const std::string script_path = std::string(folder) + "/recipe.sh";
    std::ofstream(script_path) << "set -euo pipefail\ncd " << folder << "\n" << r.script;
    FILE* run = popen(("bash " + script_path + " 2>&1").c_str(), "r");
    ASSERT_NE(run, nullptr);
    std::string output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, run)) > 0;) output.append(buffer, n);
    const int status = pclose(run);
    while (!output.empty() && output.back() == '\n') output.pop_back();
    EXPECT_EQ(status, 0) << r.script << output;
    EXPECT_EQ(output, r.expected) << r.script;
  }
  std::system(("rm -rf " + std::string(folder)).c_str());
}
