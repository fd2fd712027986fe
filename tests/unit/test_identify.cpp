#include <gtest/gtest.h>
#include <string.h>

#include <filesystem>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "files.h"
#include "patch/identify.h"
#include "ui/actions.h"

namespace {

std::string edition_path(const TempDir &dir, size_t row, uint8_t fps) {
    std::string path = dir.path("edition" + std::to_string(row) + ".exe");
    write_file(path, synthetic_exe(kExeProfiles[row], fps));
    return path;
}

// Copies the path into the state the way "Browse" does, then identifies.
void browse(const std::string &path) {
    ASSERT_LT(path.size(), sizeof patcher_state.path);
    strcpy(patcher_state.path, path.c_str());
    patcher_state.path_len = (int32_t)path.size();
    identify_exe(patcher_state.path);
}

void expect_refused_state() {
    EXPECT_STREQ(kPathPrompt, patcher_state.path);
    EXPECT_EQ((int32_t)strlen(kPathPrompt), patcher_state.path_len);
    EXPECT_EQ(NO_PROFILE, patcher_state.profile);
    EXPECT_STREQ("", patcher_state.status);
    EXPECT_EQ(96, patcher_state.fps_limit);
    EXPECT_STREQ("", digest);
}

class Identify : public ::testing::Test {
  protected:
    void SetUp() override {
        patcher_state_init(&patcher_state);
        memset(&message_popup, 0, sizeof message_popup);
    }
    TempDir dir;
};

TEST_F(Identify, EveryCatalogueRow) {
    for (size_t i = 0; i < EXE_PROFILE_COUNT; ++i) {
        SCOPED_TRACE(kExeProfiles[i].edition_name);
        std::string path = edition_path(dir, i, (uint8_t)(10 + i));
        patcher_state.fps_limit = 200;
        browse(path);
        EXPECT_EQ(i, patcher_state.profile);
        EXPECT_EQ(std::string("Modified ") + kExeProfiles[i].edition_name, patcher_state.status);
        EXPECT_EQ((int32_t)(10 + i), patcher_state.fps_limit);
        EXPECT_STREQ(path.c_str(), patcher_state.path);   // an accepted path stays
        EXPECT_EQ(32u, strlen(digest));
        EXPECT_EQ(0, message_popup.visible);

        IdentifyResult r;
        ASSERT_TRUE(identify_file(path.c_str(), &r));
        EXPECT_EQ(i <= 1 ? MUSIC_FIX_ABSENT : MUSIC_FIX_UNAVAILABLE, r.music_fix);
        EXPECT_STREQ(digest, r.md5);
    }
}

TEST_F(Identify, UnmodifiedWhenTheDigestMatches) {
    std::string path = edition_path(dir, 0, 96);
    char md5[DIGEST_SIZE];
    ASSERT_EQ(0u, file_md5_hex_to(path.c_str(), md5));
    ExeProfile rows[EXE_PROFILE_COUNT];
    memcpy(rows, kExeProfiles, sizeof rows);
    rows[0].md5_hex = md5;
    const Catalogue catalogue = {rows, EXE_PROFILE_COUNT, kMusicFixes, 2};

    IdentifyResult r;
    ASSERT_TRUE(identify_file(path.c_str(), &r, &catalogue));
    EXPECT_TRUE(r.unmodified);
    EXPECT_STREQ("Unmodified v1.1 CD-ROM edition", r.status);

    // One byte away from the shipped file is "Modified", wherever it is.
    Bytes bytes = read_file(path);
    bytes[5] ^= 0x40;
    write_file(path, bytes);
    ASSERT_TRUE(identify_file(path.c_str(), &r, &catalogue));
    EXPECT_FALSE(r.unmodified);
    EXPECT_STREQ("Modified v1.1 CD-ROM edition", r.status);
}

TEST_F(Identify, NearMissesAreRefused) {
    const ExeProfile &v10 = kExeProfiles[3];
    Bytes base = synthetic_exe(v10, 96);
    struct Case {
        const char *name;
        Bytes bytes;
        const char *reason;
    };
    Bytes v101 = base;   // "VERSION 1.01" where a v1.0 file has "VERSION 1.0" and a zero
    memcpy(&v101[v10.probe_offset], "VERSION 1.01", 13);
    Bytes wrong = base;
    wrong[v10.probe_offset + 3] = 'X';
    Bytes longer = base;
    longer.push_back(0);
    Bytes shorter = base;
    shorter.pop_back();
    const Case cases[] = {
        {"v1.01 text", v101, "version text does not"},
        {"wrong text", wrong, "version text does not"},
        {"one byte more", longer, "matches no supported edition"},
        {"one byte less", shorter, "matches no supported edition"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.path("near.exe");
        write_file(path, c.bytes);
        IdentifyResult r;
        EXPECT_FALSE(identify_file(path.c_str(), &r));
        EXPECT_NE(nullptr, strstr(r.error, c.reason)) << r.error;
        EXPECT_EQ(NO_PROFILE, r.profile);
    }
}

TEST_F(Identify, RefusalAfterASupportedFileResetsTheSelection) {
    browse(edition_path(dir, 0, 40));
    patcher_state.music_fix = 1;
    ASSERT_EQ(0, patcher_state.profile);

    std::string other = dir.path("other.exe");
    write_file(other, Bytes(1000, 7));
    browse(other);
    expect_refused_state();
    EXPECT_EQ(1, patcher_state.music_fix);   // the panel, not identification, owns this flag
    EXPECT_EQ(1, message_popup.visible);
    EXPECT_EQ(0u, message_popup.kind);
    EXPECT_STREQ("Unsupported file", message_popup.title);
    EXPECT_STREQ(kSupportedEditions, message_popup.text);
}

TEST_F(Identify, SpecialPathsAreRefusedWithoutBlocking) {
    std::vector<std::string> paths = {dir.path("missing.exe"), dir.root()};
#ifdef _WIN32
    paths.push_back("NUL");
    paths.push_back("CON");
#else
    std::string fifo = dir.path("fifo"), dangling = dir.path("dangling");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    ASSERT_EQ(0, symlink(dir.path("nowhere").c_str(), dangling.c_str()));
    paths.insert(paths.end(), {fifo, dangling, "/dev/zero", "/dev/null"});
#endif
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        browse(path);
        expect_refused_state();
        EXPECT_STREQ("Unsupported file", message_popup.title);
    }
}

TEST_F(Identify, PathThatDoesNotFitIsRefusedWhole) {
    browse(edition_path(dir, 2, 50));
    std::string chosen = dir.path(std::string(300, 'a') + ".exe");
    select_file(chosen.c_str());
    expect_refused_state();
    EXPECT_STREQ("Path too long", message_popup.title);

    // The longest path that fits is taken as it is.
    std::string fits = dir.path("");
    fits += std::string(255 - fits.size() - 4, 'b') + ".exe";
    ASSERT_EQ(255u, fits.size());
    write_file(fits, synthetic_exe(kExeProfiles[2], 50));
    select_file(fits.c_str());
    EXPECT_EQ(2, patcher_state.profile);
    EXPECT_EQ(fits, patcher_state.path);
    EXPECT_EQ(255, patcher_state.path_len);
}

TEST_F(Identify, MusicFixAndZeroFrameRateAreReadBack) {
    Bytes bytes = synthetic_exe(kExeProfiles[1], 0);
    const MusicFix *fix = music_fix_for(&kCatalogue, 1);
    ASSERT_NE(nullptr, fix);
    memcpy(&bytes[fix->offset], fix->bytes, fix->length);
    std::string path = dir.path("floppy.exe");
    write_file(path, bytes);

    IdentifyResult r;
    ASSERT_TRUE(identify_file(path.c_str(), &r));
    EXPECT_EQ(MUSIC_FIX_APPLIED, r.music_fix);
    EXPECT_EQ(0, r.fps_byte);
    for (uint8_t p = 2; p < EXE_PROFILE_COUNT; ++p) EXPECT_EQ(nullptr, music_fix_for(&kCatalogue, p));
}

}  // namespace
