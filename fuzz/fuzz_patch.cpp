// Patching any file with any settings and any profile index. Input: a profile
// selector (below 0x80, where bit 0x40 also asks to keep the file's limit),
// the music-fix flag (a signed byte), the frame-rate limit (32 bits,
// little-endian), then an executable as decode_exe reads it.
#include "fuzz_common.h"
#include "patch/identify.h"
#include "patch/patch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 6) return 0;
    PatchSettings settings;
    settings.keep_fps_limit = data[0] < 0x80 && (data[0] & 0x40);
    settings.music_fix = (int8_t)data[1];
    settings.fps_limit = (int32_t)(data[2] | data[3] << 8 | data[4] << 16 | (uint32_t)data[5] << 24);
    static Bytes before, after, expected;
    decode_exe(data + 6, size - 6, &before);
    const char *path = scratch_path();
    write_whole(path, before);

    IdentifyResult id;
    identify_file(path, &id);
    // Below 0x80 the profile identification found, as the window and the command
    // line pass it; above, any index at all, wrong and out-of-range ones included.
    const uint8_t profile = data[0] < 0x80 ? id.profile : (uint8_t)(data[0] - 0x80);
    PatchOutcome out;
    const PatchStatus status = patch_file(path, profile, &settings, &out);
    read_whole(path, &after);
    FUZZ_CHECK(status == out.status);
    FUZZ_CHECK(after.size() == before.size());

    // A file identification accepts as `profile` must take the patch, and only
    // such a file: nothing on a private tmpfs file can fail but the match.
    const int patchable = id.supported && profile == id.profile;
    FUZZ_CHECK((status == PATCH_DONE) == patchable);
    if (status != PATCH_DONE) {
        FUZZ_CHECK(after == before);
        FUZZ_CHECK(out.error[0] != '\0' && out.changed_bytes == 0);
        return 0;
    }

    const ExeProfile &row = kExeProfiles[profile];
    const MusicFix *fix = settings.music_fix == 1 ? music_fix_for(&kCatalogue, profile) : nullptr;
    copy_into(&expected, before.data(), before.size());
    if (!settings.keep_fps_limit) expected[row.fps_offset] = (uint8_t)(settings.fps_limit & 0xFF);
    if (fix) memcpy(&expected[fix->offset], fix->bytes, fix->length);
    FUZZ_CHECK(after == expected);
    // What the outcome says the file holds, it holds.
    FUZZ_CHECK(out.fps_limit == after[row.fps_offset]);
    IdentifyResult now;
    FUZZ_CHECK(identify_file(path, &now) && now.music_fix == out.music_fix);
    int changed = 0;
    for (size_t i = 0; i < after.size(); ++i) changed += after[i] != before[i];
    FUZZ_CHECK(out.changed_bytes == changed);

    // The patched file is still the same edition, so it can be patched again.
    FUZZ_CHECK(now.profile == profile);
    return 0;
}
