#include <errno.h>
#include <gtest/gtest.h>
#include <string.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "files.h"
#include "patch/identify.h"
#include "ui/actions.h"
#include "patch/patch.h"

namespace {

// File access that fails on purpose: the Nth call of a kind fails (1-based,
// 0 = never). A failing write first writes half its bytes, like a disk that
// fills up part-way. Every call is noted in `journal`, one letter each:
// o open, l lock, p reopen, r read, w write, f flush, y sync, c close.
// `meanwhile` acts as another program would, given a call's letter and number:
// after a read or a close, before a write.
struct Plan {
    int open_rw, read, write, flush, sync, close;
};
Plan plan;
Plan calls;
std::string journal;
std::function<void(char, int)> meanwhile;

bool fails(int *count, int nth, char letter) {
    journal += letter;
    return ++*count == nth;
}

FILE *faulty_open(const char *path, const char *mode) {
    if (fails(&calls.open_rw, strchr(mode, '+') ? plan.open_rw : 0, 'o')) {
        errno = EACCES;
        return nullptr;
    }
    return open_regular_file(path, mode);
}
int faulty_lock(FILE *file) {
    journal += 'l';
    return lock_file(file);
}
FILE *faulty_reopen(FILE *file) {
    journal += 'p';
    return reopen_file(file);
}
size_t faulty_read(void *buffer, size_t size, size_t count, FILE *file) {
    if (fails(&calls.read, plan.read, 'r')) {
        errno = EIO;
        return 0;
    }
    size_t got = fread(buffer, size, count, file);
    if (meanwhile) meanwhile('r', calls.read);
    return got;
}
size_t faulty_write(const void *buffer, size_t size, size_t count, FILE *file) {
    if (meanwhile) meanwhile('w', calls.write + 1);
    if (fails(&calls.write, plan.write, 'w')) {
        size_t half = fwrite(buffer, size, count / 2, file);
        errno = ENOSPC;
        return half;
    }
    return fwrite(buffer, size, count, file);
}
int faulty_flush(FILE *file) {
    if (fails(&calls.flush, plan.flush, 'f')) {
        errno = ENOSPC;
        return EOF;
    }
    return fflush(file);
}
int faulty_sync(FILE *file) {
    if (fails(&calls.sync, plan.sync, 'y')) return EIO;
    return sync_file(file);
}
int faulty_close(FILE *file) {
    int result = fclose(file);
    if (meanwhile) meanwhile('c', calls.close + 1);
    if (fails(&calls.close, plan.close, 'c')) {
        errno = EIO;
        return EOF;
    }
    return result;
}
const FileIo kFaultyIo = {faulty_open,  faulty_lock,  faulty_reopen, fseek,       faulty_read,
                          faulty_write, faulty_flush, faulty_sync,   faulty_close};

void reset_faults(Plan p = Plan{}) {
    plan = p;
    calls = Plan{};
    journal.clear();
    meanwhile = nullptr;
}

class Patch : public ::testing::Test {
  protected:
    void SetUp() override {
        patcher_state_init(&patcher_state);
        memset(&message_popup, 0, sizeof message_popup);
        reset_faults();
        actions_io = &kStdioFileIo;
    }
    void TearDown() override {
        actions_io = &kStdioFileIo;
        reset_faults();
    }

    // Writes a synthetic edition and selects it as "Browse" would.
    std::string select(size_t row, uint8_t fps) {
        std::string path = dir.path("game.exe");
        write_file(path, synthetic_exe(kExeProfiles[row], fps));
        select_file(path.c_str());
        EXPECT_EQ(row, patcher_state.profile);
        return path;
    }

    void expect_message(uint32_t kind, const char *title) {
        EXPECT_EQ(1, message_popup.visible);
        EXPECT_EQ(kind, message_popup.kind);
        EXPECT_STREQ(title, message_popup.title);
    }

    TempDir dir;
};

TEST_F(Patch, ChangesExactlyTheNamedBytes) {
    for (size_t row = 0; row < EXE_PROFILE_COUNT; ++row) {
        for (int fix_on = 0; fix_on <= 1; ++fix_on) {
            SCOPED_TRACE(std::string(kExeProfiles[row].edition_name) + (fix_on ? ", fix on" : ", fix off"));
            std::string path = select(row, 96);
            Bytes before = read_file(path);
            patcher_state.fps_limit = 30;
            patcher_state.music_fix = fix_on;
            apply_patch();
            expect_message(1, "Success");
            EXPECT_STREQ("Quelmor: Kelm executable patched successfully", message_popup.text);

            Bytes expected = before;
            expected[kExeProfiles[row].fps_offset] = 30;
            const MusicFix *fix = music_fix_for(&kCatalogue, (uint8_t)row);
            if (fix_on && fix) memcpy(&expected[fix->offset], fix->bytes, fix->length);
            Bytes after = read_file(path);
            EXPECT_EQ(before.size(), after.size());
            EXPECT_TRUE(expected == after);
            EXPECT_GE(differing_offsets(before, after).size(), fix_on && fix ? 2u : 1u);
        }
    }
}

TEST_F(Patch, TwiceInARowAndChangedByteCount) {
    std::string path = select(0, 96);
    PatchSettings settings = {0x11E, 1, 0};   // only the low byte, 0x1E, reaches the file
    PatchOutcome outcome;
    Bytes before = read_file(path);
    ASSERT_EQ(PATCH_DONE, patch_file(path.c_str(), 0, &settings, &outcome));
    Bytes once = read_file(path);
    EXPECT_EQ(differing_offsets(before, once).size(), (size_t)outcome.changed_bytes);
    EXPECT_EQ(0x1E, once[kExeProfiles[0].fps_offset]);
    ASSERT_EQ(PATCH_DONE, patch_file(path.c_str(), 0, &settings, &outcome));
    EXPECT_EQ(0, outcome.changed_bytes);
    EXPECT_TRUE(once == read_file(path));

    apply_patch();
    message_popup.visible = 0;
    apply_patch();
    expect_message(1, "Success");
}

TEST_F(Patch, NothingToPatchIsAReadingError) {
    apply_patch();   // before any file
    expect_message(0, "Reading error");
    EXPECT_STREQ(
        "Please, choose Quelmor: Kelm executable first\r\nSupported:\r\nv1.1 CD-ROM edition, v1.01 CD-ROM "
        "edition,\r\nv1.0 CD-ROM edition,\r\nv1.1 Floppy edition, v1.0 Floppy edition (Spanish),\r\nv1.0 "
        "Floppy edition (20.09.94)\r\nv1.0 Floppy edition (16.09.94)",
        message_popup.text);

    std::string path = select(3, 96);
    remove(path.c_str());   // gone since "Browse"
    apply_patch();
    expect_message(0, "Reading error");
    EXPECT_STREQ(kTextFileChanged, message_popup.text);

    // Read-only, locked or forbidden: the user is told so, not to choose a file.
    path = select(3, 96);
    reset_faults(Plan{1, 0, 0, 0, 0, 0});
    actions_io = &kFaultyIo;
    apply_patch();
    expect_message(0, "Reading error");
    EXPECT_NE(nullptr, strstr(message_popup.text, "cannot be opened for writing (")) << message_popup.text;
    EXPECT_NE(nullptr, strstr(message_popup.text, "read-only")) << message_popup.text;

    PatchOutcome outcome;
    PatchSettings settings = {30, 0, 0};
    EXPECT_EQ(PATCH_NOT_OPENED, patch_file(dir.root().c_str(), 3, &settings, &outcome));
}

TEST_F(Patch, FileChangedSinceIdentificationIsLeftAlone) {
    struct Swap {
        const char *name;
        Bytes bytes;
    };
    Bytes truncated = synthetic_exe(kExeProfiles[0], 96);
    truncated.resize(kExeProfiles[0].fps_offset - 10);
    Bytes same_size_other_text = synthetic_exe(kExeProfiles[0], 96);
    same_size_other_text[kExeProfiles[0].probe_offset] = 'X';
    const Swap swaps[] = {
        {"truncated", truncated},
        {"another edition", synthetic_exe(kExeProfiles[1], 96)},
        {"same size, other version text", same_size_other_text},
        {"empty", Bytes()},
    };
    for (const Swap &s : swaps) {
        SCOPED_TRACE(s.name);
        std::string path = select(0, 96);
        write_file(path, s.bytes);
        patcher_state.music_fix = 1;
        apply_patch();
        expect_message(0, "Reading error");
        EXPECT_STREQ(kTextFileChanged, message_popup.text);
        EXPECT_TRUE(s.bytes == read_file(path));
    }
}

TEST_F(Patch, LocksBeforeTheCheckAndReportsSuccessOnlyOnceTheBytesAreOnTheDisk) {
    std::string path = select(0, 96);
    PatchSettings settings = {30, 1, 0};
    PatchOutcome outcome;
    ASSERT_EQ(PATCH_DONE, patch_file(path.c_str(), 0, &settings, &outcome, &kCatalogue, &kFaultyIo));
    // Locked before the first read (the check); then the last write, the
    // flush, the sync, and only then the close after which patch_file returns.
    EXPECT_EQ("olr", journal.substr(0, 3)) << journal;
    const size_t sync = journal.rfind('y');
    ASSERT_NE(std::string::npos, sync) << journal;
    EXPECT_LT(journal.rfind('w'), sync) << journal;
    EXPECT_LT(journal.rfind('f'), sync) << journal;
    EXPECT_EQ("yc", journal.substr(sync)) << journal;
    EXPECT_EQ(30, read_file(path)[kExeProfiles[0].fps_offset]);
}

TEST_F(Patch, FailuresPutTheOriginalBytesBack) {
    struct Case {
        const char *name;
        Plan plan;
        const char *step;
    };
    // Calls on the way: read probe, read the two runs of originals; write the
    // limit, then the fix; flush; sync; close.
    const Case cases[] = {
        {"reading the originals", Plan{0, 2, 0, 0, 0, 0}, "reading the bytes to replace"},
        {"writing the limit", Plan{0, 0, 1, 0, 0, 0}, "writing the frame-rate limit"},
        {"writing the fix part-way", Plan{0, 0, 2, 0, 0, 0}, "writing the music-loop fix"},
        {"flushing", Plan{0, 0, 0, 1, 0, 0}, "saving the file"},
        {"syncing", Plan{0, 0, 0, 0, 1, 0}, "saving the file to disk"},
        {"closing", Plan{0, 0, 0, 0, 0, 1}, "closing the file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = select(0, 96);
        Bytes before = read_file(path);
        patcher_state.fps_limit = 30;
        patcher_state.music_fix = 1;
        reset_faults(c.plan);
        actions_io = &kFaultyIo;
        apply_patch();
        actions_io = &kStdioFileIo;

        expect_message(0, "Patching error");
        EXPECT_NE(nullptr, strstr(message_popup.text, "could not be patched")) << message_popup.text;
        EXPECT_NE(nullptr, strstr(message_popup.text, c.step)) << message_popup.text;
        EXPECT_NE(nullptr, strstr(message_popup.text, "left as it was")) << message_popup.text;
        EXPECT_EQ(nullptr, strstr(message_popup.text, "Success"));
        EXPECT_TRUE(before == read_file(path));
    }
}

TEST_F(Patch, RestoreThatFailsTooIsReportedAsSuch) {
    struct Case {
        const char *name;
        Plan plan;
    };
    const Case cases[] = {
        {"the sync fails, then the restore's first write", Plan{0, 0, 3, 0, 1, 0}},
        // The restore counts only once its bytes are on the disk too.
        {"the limit write fails, then the restore's sync", Plan{0, 0, 1, 0, 1, 0}},
        {"the close fails, then opening the file again", Plan{2, 0, 0, 0, 0, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = select(0, 96);
        PatchSettings settings = {30, 1, 0};
        PatchOutcome outcome;
        reset_faults(c.plan);
        EXPECT_EQ(PATCH_IO_FAILED_UNRESTORED,
                  patch_file(path.c_str(), 0, &settings, &outcome, &kCatalogue, &kFaultyIo));
        EXPECT_NE(nullptr, strstr(outcome.error, "could not be put back")) << outcome.error;
        EXPECT_EQ(read_file(path).size(), kExeProfiles[0].file_size);
    }
}

TEST_F(Patch, AFileHeldByAnotherPatcherIsWaitedForThenRefused) {
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "emscripten's C library keeps no file locks: its flock lets every caller through";
#endif
    std::string path = select(0, 96);
    FILE *other = open_regular_file(path.c_str(), "rb+");
    ASSERT_EQ(0, lock_file(other));
    patcher_state.fps_limit = 30;
    const auto start = std::chrono::steady_clock::now();
    apply_patch();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(FILE_LOCK_WAIT_MS));
    fclose(other);
    expect_message(0, "Patching error");
    EXPECT_NE(nullptr, strstr(message_popup.text, "another program is changing it")) << message_popup.text;
    EXPECT_EQ(96, read_file(path)[kExeProfiles[0].fps_offset]);
}

TEST_F(Patch, TheLockIsHeldUntilTheOriginalBytesAreBack) {
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "emscripten's C library keeps no file locks: its flock lets every caller through";
#endif
    std::string path = select(0, 96);
    Bytes before = read_file(path);
    reset_faults(Plan{0, 0, 2, 0, 0, 0});   // the fix write fails
    // Asked once the failed stream is closed, and at the restore's first write.
    std::string held;
    meanwhile = [&](char call, int nth) {
        if ((call == 'c' && nth == 1) || (call == 'w' && nth == 3)) {
            FILE *other = open_regular_file(path.c_str(), "rb");
            held += try_lock_file(other) == EWOULDBLOCK ? call : '-';
            fclose(other);
        }
    };
    PatchSettings settings = {30, 1, 0};
    PatchOutcome outcome;
    EXPECT_EQ(PATCH_IO_FAILED, patch_file(path.c_str(), 0, &settings, &outcome, &kCatalogue, &kFaultyIo));
    EXPECT_EQ("cw", held) << journal;
    EXPECT_TRUE(before == read_file(path));
}

// Another program, which takes no lock, cuts the file short during the patch.
TEST_F(Patch, AFileCutShortIsNeitherLengthenedNorReportedPatched) {
    struct Case {
        const char *name;
        char call;
        int nth;
        PatchStatus status;
    };
    const Case cases[] = {
        // After the check, before the writes: nothing is written past the end.
        {"after the last read", 'r', 3, PATCH_IO_FAILED},
        // Past the size check already: the write lands past the new end, and
        // no one can tell what the file was any more. Said so.
        {"right before the write", 'w', 1, PATCH_IO_FAILED_UNRESTORED},
    };
    const uintmax_t shorter = kExeProfiles[0].fps_offset - 10;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = select(0, 96);
        reset_faults();
        std::error_code cut;
        meanwhile = [&](char call, int nth) {
            if (call == c.call && nth == c.nth) std::filesystem::resize_file(path, shorter, cut);
        };
        PatchSettings settings = {30, 1, 0};
        PatchOutcome outcome;
        EXPECT_EQ(c.status, patch_file(path.c_str(), 0, &settings, &outcome, &kCatalogue, &kFaultyIo));
        EXPECT_FALSE(cut) << cut.message();
        EXPECT_NE(nullptr, strstr(outcome.error, "changed size")) << outcome.error;
        Bytes cut_short = synthetic_exe(kExeProfiles[0], 96);
        cut_short.resize(shorter);
        if (c.status == PATCH_IO_FAILED) {
            EXPECT_TRUE(cut_short == read_file(path));
        }
    }
}

}  // namespace
