#include <android/log.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "envelope/deflate_pool.h"
#include "envelope/envelope_internal.h"
#include "envelope_reference.h"
#include "pelm/envelope.h"
#include "test_support.h"

using namespace pelm::test;

namespace {

const std::string kKeyText = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
const std::string kIvText = "000102030405060708090A0B0C0D0E0F";
const std::string kKey = from_hex(kKeyText);
const std::string kIv = from_hex(kIvText);
const std::string kUntouched = "previous output";

const LogRecord kInputError{ANDROID_LOG_ERROR, "tagName", "Input error"};
const LogRecord kGzipError{ANDROID_LOG_ERROR, "tagName", "gzip error"};
const LogRecord kBase64Error{ANDROID_LOG_ERROR, "tagName", "base64 error"};
const LogRecord kCodedError{ANDROID_LOG_ERROR, "tagName",
                            "CV_ERR: name Corvane_DYNAMIC_ENCRYPT_ERR, code -10001"};

struct Outcome {
  bool ok;
  std::string out;
  std::vector<LogRecord> log;
};

Outcome seal(const std::string& key, const std::string& iv, const std::string& data) {
  LogCapture capture;
  Outcome o{false, kUntouched, {}};
  o.ok = myEncrypt(key, iv, data, o.out);
  o.log = capture.records();
  return o;
}

Outcome open(const std::string& key, const std::string& iv, const std::string& text) {
  LogCapture capture;
  Outcome o{false, kUntouched, {}};
  o.ok = myDecrypt(key, iv, text, o.out);
  o.log = capture.records();
  return o;
}

}  // namespace

TEST(ErrLog, WritesOneFormattedRecordAtErrorUnderTagName) {
  LogCapture capture;
  err_log("CV_ERR: name %s, code %d", "X", -7);
  err_log("%s", "second");
  const std::vector<LogRecord> expected = {
      {ANDROID_LOG_ERROR, "tagName", "CV_ERR: name X, code -7"},
      {ANDROID_LOG_ERROR, "tagName", "second"}};
  EXPECT_EQ(capture.records(), expected);
}

TEST(Envelope, EmptyPlaintextKnownAnswer) {
  const Outcome sealed = seal(kKeyText, kIvText, "");
  ASSERT_TRUE(sealed.ok);
  EXPECT_TRUE(sealed.log.empty());
  ASSERT_EQ(sealed.out.size(), 16u);
  EXPECT_EQ(sealed.out.find('='), std::string::npos);
  // The 12-byte payload: the encrypted 8-byte zlib stream, then 00000000.
  std::string payload(12, '\0');
  ASSERT_EQ(EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&payload[0]),
                            reinterpret_cast<const unsigned char*>(sealed.out.data()), 16),
            12);
  EXPECT_EQ(to_hex(cfb256(kKey, kIv, payload.substr(0, 8), false)), "78da030000000001");
  EXPECT_EQ(to_hex(payload.substr(8)), "00000000");

  const Outcome opened = open(kKeyText, kIvText, sealed.out);
  EXPECT_TRUE(opened.ok);
  EXPECT_EQ(opened.out, "");
  EXPECT_TRUE(opened.log.empty());
}

TEST(Envelope, MatchesIndependentSealAndRoundTrips) {
  std::mt19937_64 rng(20261209);
  const size_t sizes[] = {0, 1, 2, 3, 4, 5, 15, 16, 17, 100, 1023, 1024, 1025, 4096, 65536, 1 << 20};
  for (size_t size : sizes) {
    for (bool compressible : {false, true}) {
      std::string data = random_bytes(rng, size);
      if (compressible)
        for (size_t i = 0; i < size; ++i) data[i] = "\0abc"[data[i] & 3];  // NULs too
      std::string envelope;
      ASSERT_TRUE(myEncrypt(kKeyText, kIvText, data, envelope)) << size;
      EXPECT_EQ(envelope, reference_envelope(kKey, kIv, data)) << size;
      std::string opened;
      ASSERT_TRUE(myDecrypt(kKeyText, kIvText, envelope, opened)) << size;
      EXPECT_EQ(opened, data) << size;
    }
  }
}

TEST(Envelope, UppercaseAndNonHexKeyTextsUseTheLenientDecoding) {
  std::string odd_key = kKeyText;
  odd_key[0] = 'z';   // -1 rule: "z0" ... gives 0xF6 for "z6"
  odd_key[5] = ' ';
  const Outcome sealed = seal(odd_key, "000102030405060708090a0b0c0d0e0f", "text");
  ASSERT_TRUE(sealed.ok);
  EXPECT_EQ(sealed.out, reference_envelope(myHexLine(odd_key), kIv, "text"));
  EXPECT_EQ(seal(kKeyText, kIvText, "text").out,
            seal(kKeyText, "000102030405060708090a0b0c0d0e0f", "text").out);
}

TEST(Envelope, WrongKeyOrIvGivesTheCodedError) {
  std::string envelope;
  ASSERT_TRUE(myEncrypt(kKeyText, kIvText, "a secret worth keeping", envelope));
  std::string other_key = kKeyText, other_iv = kIvText;
  other_key[10] = other_key[10] == '0' ? '1' : '0';
  other_iv[31] = other_iv[31] == '0' ? '1' : '0';
  for (const auto& [key, iv] : {std::pair{other_key, kIvText}, std::pair{kKeyText, other_iv}}) {
    const Outcome o = open(key, iv, envelope);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.out, kUntouched);
    EXPECT_EQ(o.log, std::vector<LogRecord>{kCodedError});
  }
}

TEST(Envelope, FailureTable) {
  const std::string valid = reference_envelope(kKey, kIv, "hello");
  const std::string stream = zlib9("hello");
  const struct {
    const char* name;
    bool sealing;
    std::string key, iv, input;
    std::vector<LogRecord> log;
  } cases[] = {
      {"seal key 63", true, kKeyText.substr(1), kIvText, "x", {kInputError}},
      {"seal key 65", true, kKeyText + "0", kIvText, "x", {kInputError}},
      {"seal iv 31", true, kKeyText, kIvText.substr(1), "x", {kInputError}},
      {"seal iv 33", true, kKeyText, kIvText + "0", "x", {kInputError}},
      {"open key 63", false, kKeyText.substr(1), kIvText, valid, {kInputError}},
      {"open key 65", false, kKeyText + "0", kIvText, valid, {kInputError}},
      {"open iv 31", false, kKeyText, kIvText.substr(1), valid, {kInputError}},
      {"open iv 33", false, kKeyText, kIvText + "0", valid, {kInputError}},
      {"empty text", false, kKeyText, kIvText, "", {kBase64Error}},
      {"blanks only", false, kKeyText, kIvText, " \t \t", {kBase64Error}},
      {"length not 4k", false, kKeyText, kIvText, "AAAAA", {kBase64Error}},
      {"outside alphabet", false, kKeyText, kIvText, "AA*AAAAA", {kBase64Error}},
      {"payload 3", false, kKeyText, kIvText, "AAAA", {}},
      {"payload 4", false, kKeyText, kIvText, "AAAAAA==", {}},
      {"payload -1", false, kKeyText, kIvText, "====", {}},
      {"trailer 16772160", false, kKeyText, kIvText, envelope_of_stream(kKey, kIv, stream, 16772160), {kGzipError}},
      {"trailer all ones", false, kKeyText, kIvText, envelope_of_stream(kKey, kIv, stream, 0xFFFFFFFF), {kGzipError}},
      {"not a zlib stream", false, kKeyText, kIvText, envelope_of_stream(kKey, kIv, "garbage!", 5), {kCodedError}},
      {"truncated stream", false, kKeyText, kIvText,
       envelope_of_stream(kKey, kIv, stream.substr(0, stream.size() - 1), 5), {kCodedError}},
  };
  for (const auto& c : cases) {
    const Outcome o = c.sealing ? seal(c.key, c.iv, c.input) : open(c.key, c.iv, c.input);
    EXPECT_FALSE(o.ok) << c.name;
    EXPECT_EQ(o.out, kUntouched) << c.name;
    EXPECT_EQ(o.log, c.log) << c.name;
  }
}

TEST(Envelope, ACharacterOutsideTheAlphabetAnywhereInAGroupIsABase64Error) {
  const std::string valid = reference_envelope(kKey, kIv, "hello, base64");
  for (size_t position = 0; position < 4; ++position) {
    for (const char bad : {'*', '-', '_', '\x80'}) {
      std::string text = valid;
      text[4 + position] = bad;  // a group in the middle, not the padded one
      EXPECT_EQ(open(kKeyText, kIvText, text).log, std::vector<LogRecord>{kBase64Error})
          << "position " << position << ", character " << int(bad);
    }
  }
}

TEST(Envelope, TrailerDecidesTheLengthAndPadsWithZeros) {
  const std::string data = "twenty-one bytes long";
  const std::string stream = zlib9(data);
  // Smaller than the data: the first T bytes.
  Outcome o = open(kKeyText, kIvText, envelope_of_stream(kKey, kIv, stream, 6));
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.out, "twenty");
  // The largest trailer that opens: zeros past the inflated data.
  o = open(kKeyText, kIvText, envelope_of_stream(kKey, kIv, stream, 16772159));
  ASSERT_TRUE(o.ok);
  ASSERT_EQ(o.out.size(), 16772159u);
  EXPECT_EQ(o.out.substr(0, data.size()), data);
  EXPECT_EQ(o.out.find_first_not_of('\0', data.size()), std::string::npos);
  EXPECT_TRUE(o.log.empty());
}

TEST(Envelope, BlanksAroundAnEnvelopeOpenExactlyOrFailCleanly) {
  std::set<size_t> padding_counts;
  for (const std::string text : {"", "a", "ab", "abc", "twenty-one bytes long"}) {
    const std::string envelope = reference_envelope(kKey, kIv, text);
    padding_counts.insert(envelope.size() - envelope.find_last_not_of('=') - 1);
    for (const std::string blanks : {"\n", "\r\n", " ", "\t", " \t\r\n\n", "-", "-\n", "\n-\r\n-"}) {
      const Outcome o = open(kKeyText, kIvText, envelope + blanks);
      EXPECT_TRUE(o.ok && o.out == text && o.log.empty()) << text << " + blanks";
    }
    for (const std::string blanks : {" ", "\t", "\t \t"}) {
      const Outcome o = open(kKeyText, kIvText, blanks + envelope);
      EXPECT_TRUE(o.ok && o.out == text && o.log.empty()) << "blanks + " << text;
    }
    // A line break or a "-" before the text, or a blank inside its end, is
    // no blank.
    for (const std::string& bad : {"\n" + envelope, "\r\n" + envelope, "\n " + envelope,
                                  "-" + envelope, envelope + "-x", envelope + "\v"}) {
      const Outcome o = open(kKeyText, kIvText, bad);
      EXPECT_FALSE(o.ok) << bad;
      EXPECT_EQ(o.out, kUntouched) << bad;
      EXPECT_EQ(o.log, std::vector<LogRecord>{kBase64Error}) << bad;
    }
  }
  EXPECT_EQ(padding_counts, (std::set<size_t>{0, 1, 2}));
}

TEST(Envelope, ZerosPastTheInflatedDataEvenInReusedMemory) {
  const std::string data = "twenty-one bytes long";
  // A capacity of 3001 bytes comes from ordinary heap blocks, which the
  // allocator hands out again dirty, not from fresh zeroed pages.
  const uint32_t trailer = 3000;
  const std::string envelope = envelope_of_stream(kKey, kIv, zlib9(data), trailer);
  for (int round = 0; round < 4; ++round) {
    std::vector<void*> dirty;
    for (size_t size = trailer - 16; size <= trailer + 32; size += 8) {
      dirty.push_back(std::memset(std::malloc(size), 0xA5, size));
    }
    for (void* block : dirty) std::free(block);
    const Outcome o = open(kKeyText, kIvText, envelope);
    ASSERT_TRUE(o.ok);
    ASSERT_EQ(o.out.size(), trailer);
    EXPECT_EQ(o.out.substr(0, data.size()), data);
    EXPECT_EQ(o.out.find_first_not_of('\0', data.size()), std::string::npos) << round;
  }
}

// Data whose level-9 stream is exactly `stream_size` bytes and inflates to
// one byte more: a run of 'a' and then random bytes, the run's length tuned.
std::string stream_one_byte_short_of(size_t stream_size) {
  std::mt19937_64 rng(stream_size);
  const std::string noise = random_bytes(rng, stream_size + 1);
  for (size_t run = 0; run <= stream_size; ++run) {
    const std::string data = std::string(run, 'a') + noise.substr(0, stream_size + 1 - run);
    const std::string stream = zlib9(data);
    if (stream.size() == stream_size) return stream;
  }
  return "";
}

TEST(Envelope, CapacityForShortStreamsIsOneKiBAndThenOneMoreThanTheStream) {
  // 1024 stream bytes get 1024 bytes of room; 1025 get 1026.
  for (const size_t stream_size : {size_t{1024}, size_t{1025}}) {
    const std::string stream = stream_one_byte_short_of(stream_size);
    ASSERT_EQ(stream.size(), stream_size);
    const Outcome o = open(kKeyText, kIvText, envelope_of_stream(kKey, kIv, stream, 5));
    if (stream_size == 1024) {
      EXPECT_FALSE(o.ok);
      EXPECT_EQ(o.log, std::vector<LogRecord>{kCodedError});
    } else {
      EXPECT_TRUE(o.ok && o.out.size() == 5 && o.log.empty());
    }
  }
}

namespace {

// The library's encoder on the first `length` bytes; the NUL it writes
// after the text must land where the text ends.
std::string encode_base64(const std::string& payload, size_t length) {
  const size_t text_length = pelm::envelope::base64_length(length);
  std::string text(text_length + 1, '#');
  pelm::envelope::base64_encode(u8(payload), length, &text[0]);
  if (text[text_length] != '\0') return "no NUL after the text";
  text.resize(text_length);
  return text;
}

}  // namespace

TEST(Envelope, LongPayloadsEncodeAsOneBase64Text) {
  // The encoder works in pieces above 48 MiB; the pieces must join into
  // exactly the one-shot text.
  std::mt19937_64 rng(48);
  for (size_t length = 0; length < 100; ++length) {
    const std::string short_payload = random_bytes(rng, length);
    ASSERT_EQ(encode_base64(short_payload, length), base64(short_payload));
  }
  const std::string payload = random_bytes(rng, (size_t{48} << 20) + 1000);
  for (const size_t length : {payload.size() - 2, payload.size() - 1, payload.size()}) {
    const std::string piecewise = encode_base64(payload, length);
    EXPECT_TRUE(piecewise == base64(payload.substr(0, length))) << length;
  }
}

TEST(Envelope, Base64EdgesOpenAlikeWithOpenSslAndBoringSsl) {
  // The two libcrypto decoders differ on these texts; the library decodes
  // them itself and opens each the same way with either.
  const struct {
    const char* text;
    int openssl, boringssl;  // what EVP_DecodeBlock of each returns
    std::vector<LogRecord> log;
  } cases[] = {
      {"====", 3, -1, {}},                 // payload of -1 bytes: no record
      {"A===", 3, -1, {}},
      {"AB=C", 3, -1, {}},                 // "=" inside counts as a zero digit
      {"=AAA", 3, -1, {}},
      {"AA==AAAAAAAA", 9, -1, {kCodedError}},  // 9 bytes, no padding at the end
      {"AAAA-", 3, -1, {}},                // a final "-" is set aside, as OpenSSL does
      {"AAAA\n", 3, 3, {}},
      {"AA AA", -1, -1, {kBase64Error}},
  };
  for (const auto& c : cases) {
    unsigned char decoded[64];
    const int r = EVP_DecodeBlock(decoded, reinterpret_cast<const unsigned char*>(c.text),
                                  static_cast<int>(std::strlen(c.text)));
#if defined(OPENSSL_IS_BORINGSSL)
    EXPECT_EQ(r, c.boringssl) << c.text;
#else
    EXPECT_EQ(r, c.openssl) << c.text;
#endif
    const Outcome o = open(kKeyText, kIvText, c.text);
    EXPECT_FALSE(o.ok) << c.text;
    EXPECT_EQ(o.log, c.log) << c.text;
  }
}

TEST(DeflatePool, EverySealGivesItsStreamBack) {
  std::mt19937_64 rng(21);
  for (size_t length : {0, 1, 200, 400, 1000, 5000, 70000}) {
    ASSERT_TRUE(seal(kKeyText, kIvText, random_bytes(rng, length)).ok);
    EXPECT_GE(pelm::envelope::idle_deflate_streams(length), 1u) << length;
  }
}

// The rules that make a smaller level-9 stream compress as compress2's does
// on any zlib build (not only the one the test below runs on): the whole
// text and the look-ahead in the window, a symbol-buffer slot per byte, and
// with a hash table smaller than compress2's, fewer than 1024 positions for
// a chain to hold.
TEST(DeflatePool, EveryStreamClassKeepsTheRulesThatMakeItCompress2s) {
  size_t count = 0;
  const pelm::envelope::DeflateStreamClass* classes = pelm::envelope::deflate_stream_classes(count);
  ASSERT_GE(count, 1u);
  for (size_t i = 0; i + 1 < count; ++i) {
    const auto& c = classes[i];
    const size_t n = c.longest_text;
    EXPECT_LE(n + 262, size_t{1} << c.window_bits) << "class " << i;
    EXPECT_LE(n, (size_t{1} << (c.mem_level + 6)) - 1) << "class " << i;
    if (c.mem_level < 8) {
      EXPECT_LT(n, 1024u) << "class " << i;
    }
    EXPECT_LT(n, classes[i + 1].longest_text) << "class " << i;
    EXPECT_LE(c.mem_level, 8) << "class " << i;
  }
  EXPECT_EQ(classes[count - 1].longest_text, SIZE_MAX);
  EXPECT_EQ(classes[count - 1].window_bits, 15);
  EXPECT_EQ(classes[count - 1].mem_level, 8);
}

// Every length through the small streams' classes and past them, in kinds
// of data that press each limit a smaller stream has: random bytes (one
// symbol per byte: the symbol buffer), a tail that repeats the head (the
// longest match distance: the window), two letters and zeros (long hash
// chains), words and JSON (what apps seal). Each must be compress2's level-9
// stream byte for byte, header included.
TEST(DeflatePool, EveryLengthGivesCompress2sBytes) {
  std::mt19937_64 rng(29);
  const std::string pool = random_bytes(rng, 9000);
  const std::string words_source =
      "the quick brown fox jumps over a lazy dog while seven wizards quietly hex ";
  std::string json_source;
  while (json_source.size() < 9000) {
    json_source += "{\"id\":" + std::to_string(rng() % 100000) + ",\"name\":\"user" +
                   std::to_string(rng() % 977) + "\",\"active\":true},";
  }
  const auto kind = [&](int k, size_t n) -> std::string {
    switch (k) {
      case 0: return pool.substr(0, n);
      case 1: {  // random, ending in its bytes 1 to 3 (position 0 is never a match)
        std::string t = pool.substr(100, n);
        if (n >= 8) t.replace(n - 3, 3, t, 1, 3);
        return t;
      }
      case 2: {
        std::string t(n, 'a');
        for (size_t i = 0; i < n; ++i) t[i] = "ab"[(pool[i] >> 3) & 1];
        return t;
      }
      case 3: {
        std::string t;
        while (t.size() < n) t += words_source.substr(static_cast<uint8_t>(pool[t.size()]) % 40);
        return t.substr(0, n);
      }
      case 4: return json_source.substr(0, n);
      default: return std::string(n, '\0');
    }
  };
  int mismatches = 0;
  std::string first_mismatch;
  std::vector<uint8_t> out;
  // Every length up to past the smaller-hash classes, then a spread, and
  // every length around the last bound a smaller window sets.
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 1100; ++n) lengths.push_back(n);
  for (size_t n = 1101; n <= 8200; n += 37) lengths.push_back(n);
  for (size_t n = 7920; n <= 7940; ++n) lengths.push_back(n);
  for (const size_t n : lengths) {
    for (int k = 0; k < 6; ++k) {
      const std::string text = kind(k, n);
      out.assign(pelm::envelope::compressed_bound(n), 0);
      size_t written = 0;
      ASSERT_EQ(pelm::envelope::compress_level9(u8(text), n, out.data(), written),
                pelm::envelope::Deflated::kDone);
      if (std::string(reinterpret_cast<const char*>(out.data()), written) != zlib9(text)) {
        if (mismatches++ == 0) first_mismatch = "length " + std::to_string(n) + ", kind " + std::to_string(k);
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << "first: " << first_mismatch;
}
