#include "patch/catalogue.h"

#define KELM_SUPPORTED_LIST                                                  \
    "Supported:\r\nv1.1 CD-ROM edition, v1.01 CD-ROM edition,\r\n"           \
    "v1.0 CD-ROM edition,\r\n"                                               \
    "v1.1 Floppy edition, v1.0 Floppy edition (Spanish),\r\n"                \
    "v1.0 Floppy edition (20.09.94)\r\n"                                     \
    "v1.0 Floppy edition (16.09.94)"

const ExeProfile kExeProfiles[EXE_PROFILE_COUNT] = {
    {634416, "90b09ee26f2bc3a8d20063712636241c", 317292, "1.1:RES ", 562369, "v1.1 CD-ROM edition"},
    {631632, "96d1ef02d0edf9a056cea3ae8803d631", 314588, "1.1:RES ", 559569, "v1.1 Floppy edition"},
    {633744, "72a804d4a394a22977b275be8ab2f52e", 316988, "VERSION 1.01", 561761, "v1.01 CD-ROM edition"},
    {634704, "3f108a40909fef3fe1bf72c564022357", 317148, "VERSION 1.0", 562593, "v1.0 CD-ROM edition"},
    {630960, "e3915c51d50a0bfeaaa00d902aeaa831", 314364, "VERSION 1.0", 558929, "v1.0 Floppy edition (20.09.94)"},
    {634208, "58ac74d36db2d293dfc0ac550607f36f", 315628, "VERSION 1.0", 562161, "v1.0 Floppy edition (16.09.94)"},
    {630608, "c67101d77ca041ef710db3e0a514b66b", 314324, "VERSION 1.0", 558577, "v1.0 Floppy edition (Spanish)"},
};

// 16-bit game code that stops the music from restarting; copied verbatim.
static const uint8_t kMusicFixCd[23] = {
    0xa0, 0xbe, 0x08, 0xc6, 0x46, 0xf4, 0x00, 0x3c, 0x02, 0x75, 0x05, 0xc6,
    0x06, 0xbc, 0x08, 0x01, 0x90, 0x90, 0xa0, 0xbc, 0x08, 0x3c, 0x00,
};
static const uint8_t kMusicFixFloppy[15] = {
    0xa1, 0xbc, 0x08, 0x3d, 0x02, 0x00, 0x75, 0x05, 0xc6, 0x06, 0xbc, 0x08, 0x01, 0x3c, 0x00,
};

const MusicFix kMusicFixes[2] = {
    {0, 120182, sizeof kMusicFixCd, kMusicFixCd},
    {1, 117634, sizeof kMusicFixFloppy, kMusicFixFloppy},
};

const Catalogue kCatalogue = {kExeProfiles, EXE_PROFILE_COUNT, kMusicFixes, 2};

const MusicFix *music_fix_for(const Catalogue *catalogue, uint8_t profile) {
    for (size_t i = 0; i < catalogue->fix_count; ++i)
        if (catalogue->fixes[i].profile == profile) return &catalogue->fixes[i];
    return nullptr;
}

const char kPathPrompt[] = "Choose Quelmor: Thornmere executable...";
const char kSupportedEditions[] = KELM_SUPPORTED_LIST;
const char kMusicFixLabelShort[] = "Fix music loop";
const char kMusicFixLabelLong[] = "Fix music loop (v1.1 CD-ROM or v1.1 Floppy Edition only)";
const char kLabelBrowse[] = "Browse";
const char kLabelFpsLimit[] = "FPS limit (recommended <= 30):";
const char kLabelInfo[] = "Info";
const char kLabelCredit[] = "2024 ostrel";
const char kLabelPatch[] = "Patch";
const char kLabelOk[] = "OK";

const char kTitleUnsupported[] = "Unsupported file";
const char kTitleInformation[] = "Information";
const char kTextInformation[] =
    "Patcher features:\r\n1. Fix high speed issue in DOSBox\r\n2. Fix music loop issue\r\n\r\n\r\n\r\n2024 ostrel";
const char kTitleSuccess[] = "Success";
const char kTextSuccess[] = "Quelmor: Kelm executable patched successfully";
const char kTitleReadingError[] = "Reading error";
const char kTextReadingError[] = "Please, choose Quelmor: Kelm executable first\r\n" KELM_SUPPORTED_LIST;

// Messages of our own, for failures the patcher used to pass over in silence.
const char kTitlePatchFailed[] = "Patching error";
const char kTitlePathTooLong[] = "Path too long";
// printf format: the system's reason.
const char kTextNotWritable[] =
    "Quelmor: Kelm executable cannot be opened for writing (%s).\r\n"
    "If it is read-only, as files copied from a CD-ROM usually are, clear that in its properties; "
    "close any program that uses it; then click Patch again.";
const char kTextFileChanged[] =
    "Quelmor: Kelm executable has changed or gone since it was chosen.\r\n"
    "Please, choose it again.";
const char kTextPathTooLong[] =
    "The chosen path is longer than 255 bytes.\r\n"
    "Move the executable to a folder with a shorter path and choose it again.";
const char kTitleDropRefused[] = "Not a local file";
const char kTextDropRefused[] =
    "Only a file on this computer can be dropped here, such as Quelmor: Kelm executable from its folder.\r\n"
    "Save a downloaded file first, or click Browse.";
