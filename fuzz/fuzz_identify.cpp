// Identification of any file: arbitrary bytes, and files of the catalogue's
// exact sizes whose version text, frame-rate byte and music-fix bytes the
// input controls (see decode_exe).
#include <openssl/evp.h>

#include "fuzz_common.h"
#include "patch/digest.h"
#include "patch/identify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Bytes file, now;
    decode_exe(data, size, &file);
    const char *path = scratch_path();
    write_whole(path, file);

    IdentifyResult r;
    const int supported = identify_file(path, &r);
    read_whole(path, &now);
    FUZZ_CHECK(now == file);
    FUZZ_CHECK(supported == r.supported);
    FUZZ_CHECK(r.profile == expected_profile(file));

    if (!supported) {
        FUZZ_CHECK(r.error[0] != '\0');
        FUZZ_CHECK(r.status[0] == '\0' && r.fps_byte == -1 && r.music_fix == MUSIC_FIX_UNAVAILABLE);
        return 0;
    }
    const ExeProfile &row = kExeProfiles[r.profile];

    // The streamed digest of the file on disk against a one-shot one of the bytes written.
    unsigned char raw[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    FUZZ_CHECK(EVP_Digest(file.data(), file.size(), raw, &len, EVP_md5(), nullptr) && len == 16);
    char md5[DIGEST_SIZE];
    digest_hex(raw, len, md5);
    FUZZ_CHECK(r.md5_ok && strcmp(r.md5, md5) == 0);
    FUZZ_CHECK(r.unmodified == (strcmp(md5, row.md5_hex) == 0));
    FUZZ_CHECK(std::string(r.status) == std::string(r.unmodified ? "Unmodified " : "Modified ") + row.edition_name);

    FUZZ_CHECK(r.fps_byte == file[row.fps_offset]);
    const MusicFix *fix = music_fix_for(&kCatalogue, r.profile);
    const MusicFixState fix_state = !fix ? MUSIC_FIX_UNAVAILABLE
                                    : memcmp(&file[fix->offset], fix->bytes, fix->length) == 0 ? MUSIC_FIX_APPLIED
                                                                                              : MUSIC_FIX_ABSENT;
    FUZZ_CHECK(r.music_fix == fix_state);
    return 0;
}
