#include <gtest/gtest.h>
#include <string.h>

#include "files.h"
#include "patch/digest.h"

namespace {

std::string md5_of(const TempDir &dir, const Bytes &bytes) {
    std::string path = dir.path("data.bin");
    write_file(path, bytes);
    char out[DIGEST_SIZE] = "";
    EXPECT_EQ(0u, file_md5_hex_to(path.c_str(), out));
    return out;
}

Bytes text(const char *s) { return Bytes(s, s + strlen(s)); }

TEST(Digest, Rfc1321TestSuite) {
    TempDir dir;
    const struct { const char *input, *md5; } vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto &v : vectors) EXPECT_EQ(v.md5, md5_of(dir, text(v.input))) << '"' << v.input << '"';
}

TEST(Digest, BlockBoundaries) {
    // Reference values from an independent MD5 (Python's hashlib).
    TempDir dir;
    Bytes pattern(1025);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = (uint8_t)(i * 7 + 3);
    EXPECT_EQ("0f343b0931126a20f133d67c2b018a3b", md5_of(dir, Bytes(1024, 0)));
    EXPECT_EQ("ee57403eb3428e1a0be41fad4a70b174", md5_of(dir, pattern));
    pattern.pop_back();
    EXPECT_EQ("a66351d9c8f941b70a02eaf9c41e69c3", md5_of(dir, pattern));
}

TEST(Digest, FailureLeavesDigestAlone) {
    TempDir dir;
    strcpy(digest, "0123456789abcdef0123456789abcdef");
    EXPECT_NE(0u, file_md5_hex(dir.path("missing.exe").c_str()));
    EXPECT_NE(0u, file_md5_hex(dir.root().c_str()));   // a folder
    EXPECT_STREQ("0123456789abcdef0123456789abcdef", digest);

    write_file(dir.path("abc.txt"), text("abc"));
    EXPECT_EQ(0u, file_md5_hex(dir.path("abc.txt").c_str()));
    EXPECT_STREQ("900150983cd24fb0d6963f7d28e17f72", digest);
}

}  // namespace
