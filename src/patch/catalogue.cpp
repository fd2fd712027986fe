#include "patch/catalogue.h"

#include "lang/lang.h"

const ExeProfile kExeProfiles[EXE_PROFILE_COUNT] = {
    {634416, "90b09ee26f2bc3a8d20063712636241c", 317292, "1.1:RES ", 562369, N_("v1.1 CD-ROM edition")},
    {631632, "96d1ef02d0edf9a056cea3ae8803d631", 314588, "1.1:RES ", 559569, N_("v1.1 Floppy edition")},
    {633744, "72a804d4a394a22977b275be8ab2f52e", 316988, "VERSION 1.01", 561761, N_("v1.01 CD-ROM edition")},
    {634704, "3f108a40909fef3fe1bf72c564022357", 317148, "VERSION 1.0", 562593, N_("v1.0 CD-ROM edition")},
    {630960, "e3915c51d50a0bfeaaa00d902aeaa831", 314364, "VERSION 1.0", 558929, N_("v1.0 Floppy edition (20.09.94)")},
    {634208, "58ac74d36db2d293dfc0ac550607f36f", 315628, "VERSION 1.0", 562161, N_("v1.0 Floppy edition (16.09.94)")},
    {630608, "c67101d77ca041ef710db3e0a514b66b", 314324, "VERSION 1.0", 558577, N_("v1.0 Floppy edition (Spanish)")},
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

const char kPathPrompt[] = N_("Choose Quelmor: Thornmere executable...");
const char kSupportedEditions[] =
    N_("Supported:\r\nv1.1 CD-ROM edition, v1.01 CD-ROM edition,\r\n"
       "v1.0 CD-ROM edition,\r\n"
       "v1.1 Floppy edition, v1.0 Floppy edition (Spanish),\r\n"
       "v1.0 Floppy edition (20.09.94)\r\n"
       "v1.0 Floppy edition (16.09.94)");
const char kMusicFixLabelShort[] = N_("Fix music loop");
const char kMusicFixLabelLong[] = N_("Fix music loop (v1.1 CD-ROM or v1.1 Floppy Edition only)");
// TRANSLATORS: the four button labels (Browse, Info, Patch, OK) sit on
// buttons about 90 pixels wide: one short word each.
const char kLabelBrowse[] = N_("Browse");
// TRANSLATORS: right-aligned in half the window's width (about 240 pixels
// at 12 pixels a line): keep it as short as the English.
const char kLabelFpsLimit[] = N_("FPS limit (recommended <= 30):");
const char kLabelInfo[] = N_("Info");
const char kLabelCredit[] = "2024 ostrel";   // a name: the same in every language
const char kLabelPatch[] = N_("Patch");
const char kLabelOk[] = N_("OK");

const char kTitleUnsupported[] = N_("Unsupported file");
const char kTitleInformation[] = N_("Information");
const char kTextInformation[] =
    N_("Patcher features:\r\n1. Fix high speed issue in DOSBox\r\n2. Fix music loop issue\r\n\r\n\r\n\r\n2024 ostrel");
const char kTitleSuccess[] = N_("Success");
const char kTextSuccess[] = N_("Quelmor: Kelm executable patched successfully");
const char kTitleReadingError[] = N_("Reading error");
// Shown with kSupportedEditions on the lines below it.
const char kTextReadingError[] = N_("Please, choose Quelmor: Kelm executable first");

// Messages of our own, for failures the patcher used to pass over in silence.
const char kTitlePatchFailed[] = N_("Patching error");
const char kTitlePathTooLong[] = N_("Path too long");
// printf format: the system's reason.
const char kTextNotWritable[] =
    N_("Quelmor: Kelm executable cannot be opened for writing (%s).\r\n"
    "If it is read-only, as files copied from a CD-ROM usually are, clear that in its properties; "
    "close any program that uses it; then click Patch again.");
const char kTextFileChanged[] =
    N_("Quelmor: Kelm executable has changed or gone since it was chosen.\r\n"
    "Please, choose it again.");
const char kTextPathTooLong[] =
    N_("The chosen path is longer than 255 bytes.\r\n"
    "Move the executable to a folder with a shorter path and choose it again.");
const char kTitleDropRefused[] = N_("Not a local file");
const char kTextDropRefused[] =
    N_("Only a file on this computer can be dropped here, such as Quelmor: Kelm executable from its folder.\r\n"
    "Save a downloaded file first, or click Browse.");
