// Fonts for Nuklear: GDI+ fonts by family name or from TrueType data in the
// backend's private collections, text measuring (Nuklear's width callback)
// and text drawing. Text arrives as UTF-8 and goes to GDI+ as UTF-16.
//
// Measuring runs many times per frame, so it converts into a buffer on the
// stack and creates no GDI+ object; it uses the back buffer's graphics and the
// one text format, so that what is measured is what gets drawn.
//
// Glyph fallback: GDI+ draws a character that its font lacks as a box, also
// where Windows itself would link in another font. So each font knows its own
// characters (its cmap, read here for data and files, through GDI for an
// installed family), and a run with any other character is laid out in spans
// (render/fallback.h): each span is measured and drawn in its own font, the
// lines one line spacing apart, every span's baseline on the line's. Which
// family stands in for a character: the first in the list for its script
// that is installed and has it (GDI reads the family's cmap once), else the
// first installed family that has it. The families looked at are kept with
// the backend, the stand-in fonts with the font they stand in for.
#include <stdlib.h>
#include <wchar.h>

#include "gdip/gdip.h"
#include "render/draw.h"

namespace {

// Longest run converted in one piece. UTF-8 never needs more UTF-16 units than
// it has bytes, so this many bytes always fit into this many units.
enum { TEXT_UNITS = 1024 };

// Family names are short (GDI caps them at 32 units); longer ones are not found.
enum { NAME_UNITS = 256 };

int to_utf16(const char *text, int length, WCHAR *out, int capacity) {
    return MultiByteToWideChar(CP_UTF8, 0, text, length, out, capacity);
}

float measure_in(const GdipBackend *gdip, GpFont *font, const WCHAR *text, int units) {
    const RectF layout(0.0f, 0.0f, 65536.0f, 65536.0f);
    RectF box;
    if (GdipMeasureString(gdip->back_buffer_graphics, text, units, font, &layout, gdip->text_format, &box, nullptr,
                          nullptr) != Ok)
        return 0.0f;
    return box.Width;
}

float measure(const GdipFont *font, const WCHAR *text, int units) {
    return measure_in(font->backend, font->gdi_font, text, units);
}

bool is_line_break(char c) { return c == '\n' || c == '\r'; }

// Runs too long for the stack buffer are measured piece by piece: each piece
// ends at a line break or before TEXT_UNITS bytes, never inside a UTF-8
// sequence; pieces of a line add up, and the widest line is the width. Seams
// between pieces may lose a pair kerning, which a run this long can afford.
float measure_long(const GdipFont *font, const char *text, int length) {
    WCHAR units[TEXT_UNITS];
    float widest = 0.0f, line = 0.0f;
    int start = 0;
    while (start < length) {
        int end = length - start > TEXT_UNITS ? start + TEXT_UNITS : length;
        bool line_ends = false;
        for (int i = start; i < end; ++i) {
            if (is_line_break(text[i])) {
                end = i + 1;
                line_ends = true;
                break;
            }
        }
        if (!line_ends)
            while (end < length && end - 1 > start && ((unsigned char)text[end] & 0xC0) == 0x80) --end;
        line += measure(font, units, to_utf16(text + start, end - start, units, TEXT_UNITS));
        if (line_ends) {
            if (line > widest) widest = line;
            line = 0.0f;
        }
        start = end;
    }
    return line > widest ? line : widest;
}

// The slot the next registration adds its font to, created on first use; null
// when all slots have yielded a font or GDI+ cannot make a collection.
GpFontCollection *registration_slot(GdipBackend *gdip) {
    if (gdip->collection_count < 0 || gdip->collection_count >= GDIP_FONT_COLLECTIONS) return nullptr;
    GpFontCollection *&slot = gdip->font_collections[gdip->collection_count];
    if (!slot && GdipNewPrivateFontCollection(&slot) != Ok) slot = nullptr;
    return slot;
}

// --- glyph fallback ---------------------------------------------------------------

// Family lists by script, best first. Windows' own families lead; after them
// come those a Linux system gives Wine through fontconfig under their family
// names. DejaVu Serif is what the UI font was cut from: where it is installed
// (Wine's fontconfig fonts, or Windows with LibreOffice) accents and Greek
// match the rest of the text, as in the Linux window.
const wchar_t *const kGeneral[] = {L"DejaVu Serif", L"Segoe UI", L"Noto Serif", L"Noto Sans", L"DejaVu Sans",
                                   L"Segoe UI Symbol", L"Segoe UI Emoji", L"Segoe UI Historic",
                                   L"Noto Sans Symbols", L"Noto Sans Symbols2", nullptr};
const wchar_t *const kJapanese[] = {L"Yu Gothic UI", L"Yu Gothic", L"Meiryo UI", L"Meiryo", L"MS UI Gothic",
                                    L"Noto Sans CJK JP", nullptr};
const wchar_t *const kSimplified[] = {L"Microsoft YaHei UI", L"Microsoft YaHei", L"SimSun", L"Noto Sans CJK SC",
                                      nullptr};
const wchar_t *const kTraditional[] = {L"Microsoft JhengHei UI", L"Microsoft JhengHei", L"PMingLiU",
                                       L"Noto Sans CJK TC", L"Noto Sans CJK HK", nullptr};
const wchar_t *const kKorean[] = {L"Malgun Gothic", L"Gulim", L"Noto Sans CJK KR", nullptr};
const wchar_t *const kBrahmic[] = {L"Nirmala UI",       L"Leelawadee UI",  L"Mangal",         L"Latha",
                                   L"Noto Sans Devanagari", L"Noto Sans Thai", L"Noto Sans Bengali", nullptr};

bool within(uint32_t c, uint32_t first, uint32_t last) { return c >= first && c <= last; }

bool hangul(uint32_t c) {
    return within(c, 0x1100, 0x11FF) || within(c, 0x3130, 0x318F) || within(c, 0xA960, 0xA97F) ||
           within(c, 0xAC00, 0xD7FF);
}
bool kana(uint32_t c) { return within(c, 0x3040, 0x30FF) || within(c, 0x31F0, 0x31FF) || within(c, 0xFF65, 0xFF9F); }
// Han, and the punctuation, symbols and full-width forms that go with it.
bool han(uint32_t c) {
    return within(c, 0x2E80, 0x2FFF) || within(c, 0x3000, 0x303F) || within(c, 0x3100, 0x312F) ||
           within(c, 0x3190, 0x4DBF) || within(c, 0x4E00, 0x9FFF) || within(c, 0xF900, 0xFAFF) ||
           within(c, 0xFE30, 0xFE4F) || within(c, 0xFF00, 0xFFEF) || within(c, 0x20000, 0x3FFFF);
}
// Indic scripts, Thai and Lao.
bool brahmic(uint32_t c) {
    return within(c, 0x0900, 0x0EFF) || within(c, 0x1CD0, 0x1CFF) || within(c, 0xA8E0, 0xA8FF);
}

// The lists to try for a character, in order, ending with null. Han goes to
// the user's own Chinese, Japanese or Korean forms first, as Windows links
// fonts by its UI language; elsewhere Japanese, as its link for Segoe UI
// starts with Meiryo.
void lists_for(uint32_t c, const wchar_t *const *out[7]) {
    int n = 0;
    const wchar_t *const *cjk[4] = {kJapanese, kSimplified, kTraditional, kKorean};
    const LANGID language = GetUserDefaultUILanguage();
    const WORD primary = PRIMARYLANGID(language), sub = SUBLANGID(language);
    if (primary == LANG_CHINESE) {
        const bool traditional = sub == SUBLANG_CHINESE_TRADITIONAL || sub == SUBLANG_CHINESE_HONGKONG ||
                                 sub == SUBLANG_CHINESE_MACAU;
        cjk[0] = traditional ? kTraditional : kSimplified;
        cjk[1] = traditional ? kSimplified : kTraditional;
        cjk[2] = kJapanese;
    } else if (primary == LANG_KOREAN) {
        cjk[0] = kKorean;
        cjk[3] = kJapanese;
    }
    if (hangul(c) || kana(c) || han(c)) {
        if (hangul(c)) out[n++] = kKorean;
        if (kana(c)) out[n++] = kJapanese;
        for (const wchar_t *const *list : cjk) {
            bool listed = false;
            for (int i = 0; i < n; ++i) listed = listed || out[i] == list;
            if (!listed) out[n++] = list;
        }
    } else if (brahmic(c)) {
        out[n++] = kBrahmic;
    }
    out[n++] = kGeneral;
    out[n] = nullptr;
}

// One installed family as fallback knows it.
struct Family {
    WCHAR name[LF_FACESIZE];
    GpFontFamily *family;   // null: not installed (or GDI+ cannot use it)
    FallbackRange *has;     // its characters, sorted
    int32_t count;
};

}  // namespace

struct GdipFamilies {
    Family *known;
    int32_t count, capacity;
    // Every installed family, listed at the first character that no family
    // of the lists has; null until then. The installed collection owns them.
    GpFontFamily **installed;
    int32_t installed_count;
};

namespace {

// A family's characters, from the cmap that GDI reads for it; 0 when GDI
// gives no cmap (a bitmap font) or substitutes another family for the name.
int32_t family_characters(const WCHAR *name, FallbackRange **has) {
    *has = nullptr;
    int32_t count = 0;
    HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTW wanted = {};
    wanted.lfHeight = -16;
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, name, LF_FACESIZE - 1);
    HFONT font = dc ? CreateFontIndirectW(&wanted) : nullptr;
    if (font) {
        HGDIOBJ before = SelectObject(dc, font);
        WCHAR face[LF_FACESIZE] = {};
        const DWORD cmap = 0x70616D63;   // 'cmap', as GDI spells a table's tag
        const DWORD size = GetTextFaceW(dc, LF_FACESIZE, face) && _wcsicmp(face, name) == 0
                               ? GetFontData(dc, cmap, 0, nullptr, 0)
                               : GDI_ERROR;
        uint8_t *table = size != GDI_ERROR && size > 0 ? (uint8_t *)malloc(size) : nullptr;
        if (table && GetFontData(dc, cmap, 0, table, size) == size) count = cmap_ranges(table, size, has);
        free(table);
        SelectObject(dc, before);
        DeleteObject(font);
    }
    if (dc) DeleteDC(dc);
    return count;
}

GdipFamilies *families_of(GdipBackend *gdip) {
    if (!gdip->families) gdip->families = (GdipFamilies *)calloc(1, sizeof(GdipFamilies));
    return gdip->families;
}

// Every installed family, in the order GDI+ lists them.
void list_installed(GdipFamilies *families) {
    GpFontCollection *installed = nullptr;
    INT count = 0, found = 0;
    if (GdipNewInstalledFontCollection(&installed) != Ok ||
        GdipGetFontCollectionFamilyCount(installed, &count) != Ok || count < 1 ||
        !(families->installed = (GpFontFamily **)calloc((size_t)count, sizeof(GpFontFamily *))))
        return;
    if (GdipGetFontCollectionFamilyList(installed, count, families->installed, &found) == Ok)
        families->installed_count = found;
}

// The installed collection's own family of that name, or null.
GpFontFamily *listed_family(GdipFamilies *families, const WCHAR *name) {
    if (!families->installed) list_installed(families);
    WCHAR listed[LF_FACESIZE];
    for (int32_t i = 0; i < families->installed_count; ++i)
        if (GdipGetFamilyName(families->installed[i], listed, LANG_NEUTRAL) == Ok && _wcsicmp(listed, name) == 0)
            return families->installed[i];
    return nullptr;
}

// The family of that name, looked at once: whether GDI+ has it and what it
// has. Wine's GDI+ lists some families that it will not find by name (Noto
// Sans Devanagari, Noto Sans Thai): those are taken from the list.
const Family *family_named(GdipFamilies *families, const WCHAR *name) {
    for (int32_t i = 0; i < families->count; ++i)
        if (_wcsicmp(families->known[i].name, name) == 0) return &families->known[i];
    if (families->count == families->capacity) {
        const int32_t more = families->capacity ? families->capacity * 2 : 16;
        Family *grown = (Family *)realloc(families->known, (size_t)more * sizeof(Family));
        if (!grown) return nullptr;
        families->known = grown;
        families->capacity = more;
    }
    Family *f = &families->known[families->count++];
    *f = Family{};
    wcsncpy(f->name, name, LF_FACESIZE - 1);
    BOOL regular = FALSE;
    GpFontFamily *listed = nullptr;
    if (GdipCreateFontFamilyFromName(f->name, nullptr, &f->family) != Ok &&
        (!(listed = listed_family(families, f->name)) || GdipCloneFontFamily(listed, &f->family) != Ok))
        f->family = nullptr;
    if (f->family && GdipIsStyleAvailable(f->family, FontStyleRegular, &regular) == Ok && regular)
        f->count = family_characters(f->name, &f->has);
    if (!f->count && f->family) {
        GdipDeleteFontFamily(f->family);
        f->family = nullptr;
    }
    return f;
}


// Top of the line to the baseline, in pixels, for a font of `size` pixels;
// line spacing likewise.
void family_metrics(GpFontFamily *family, float size, float *ascent, float *spacing) {
    UINT16 em = 0, cell = 0, line = 0;
    GdipGetEmHeight(family, FontStyleRegular, &em);
    GdipGetCellAscent(family, FontStyleRegular, &cell);
    GdipGetLineSpacing(family, FontStyleRegular, &line);
    *ascent = em ? size * cell / em : 0.0f;
    if (spacing) *spacing = em ? size * line / em : size;
}

// The slot of the stand-in from `family`, made now if none has it yet.
uint8_t stand_in_slot(GdipFont *font, const Family *family) {
    for (int32_t i = 0; i < font->stand_in_count; ++i) {
        GpFontFamily *used = nullptr;
        WCHAR name[LF_FACESIZE] = {};
        const bool same = GdipGetFamily(font->stand_ins[i].font, &used) == Ok &&
                          GdipGetFamilyName(used, name, LANG_NEUTRAL) == Ok && _wcsicmp(name, family->name) == 0;
        if (used) GdipDeleteFontFamily(used);
        if (same) return (uint8_t)(i + 1);
    }
    REAL size = 0.0f;
    GpFont *made = nullptr;
    if (font->stand_in_count >= FALLBACK_FONTS || GdipGetFontSize(font->gdi_font, &size) != Ok ||
        GdipCreateFont(family->family, size, FontStyleRegular, UnitPixel, &made) != Ok)
        return FALLBACK_NONE;
    float ascent;
    family_metrics(family->family, size, &ascent, nullptr);
    font->stand_ins[font->stand_in_count] = GdipStandIn{made, font->ascent - ascent};
    return (uint8_t)++font->stand_in_count;
}

// The fallback's resolver: the lists for the character's script, then every
// installed family.
uint8_t resolve(void *owner, uint32_t c) {
    GdipFont *font = (GdipFont *)owner;
    GdipFamilies *families = families_of(font->backend);
    if (!families) return FALLBACK_NONE;
    const wchar_t *const *lists[7];
    lists_for(c, lists);
    for (int l = 0; lists[l]; ++l)
        for (const wchar_t *const *name = lists[l]; *name; ++name) {
            const Family *f = family_named(families, *name);
            if (f && f->family && ranges_have(f->has, f->count, c)) return stand_in_slot(font, f);
        }
    if (!families->installed) list_installed(families);
    for (int32_t i = 0; i < families->installed_count; ++i) {
        WCHAR name[LF_FACESIZE] = {};
        if (GdipGetFamilyName(families->installed[i], name, LANG_NEUTRAL) != Ok) continue;
        const Family *f = family_named(families, name);
        if (f && f->family && ranges_have(f->has, f->count, c)) return stand_in_slot(font, f);
    }
    return FALLBACK_NONE;
}

// A new font's fallback: its metrics, and the characters it has (from `has`,
// or unknown, and then it draws everything itself).
void start_fallback(GdipFont *font, const FallbackRange *has, int32_t count) {
    fallback_init(&font->fallback, resolve, font);
    if (!font->gdi_font || count <= 0) return;
    GpFontFamily *family = nullptr;
    REAL size = 0.0f;
    GdipGetFontSize(font->gdi_font, &size);
    if (GdipGetFamily(font->gdi_font, &family) != Ok) return;
    family_metrics(family, size, &font->ascent, &font->line_spacing);
    GdipDeleteFontFamily(family);
    fallback_set_own(&font->fallback, has, count);
}

// The characters of TrueType data, from its cmap.
void start_fallback_from_data(GdipFont *font, const void *data, size_t size) {
    size_t table_size = 0;
    const uint8_t *cmap = sfnt_table(data, size, 0x636D6170, &table_size);   // 'cmap'
    FallbackRange *has = nullptr;
    const int32_t count = cmap ? cmap_ranges(cmap, table_size, &has) : 0;
    start_fallback(font, has, count);
    free(has);
}

// An installed family's characters, read at the font's first text.
void read_characters(GdipFont *font) {
    font->characters_unread = false;
    GpFontFamily *family = nullptr;
    WCHAR name[LF_FACESIZE] = {};
    const bool named = GdipGetFamily(font->gdi_font, &family) == Ok && GdipGetFamilyName(family, name, LANG_NEUTRAL) == Ok;
    if (family) GdipDeleteFontFamily(family);
    FallbackRange *has = nullptr;
    const int32_t count = named ? family_characters(name, &has) : 0;
    start_fallback(font, has, count);
    free(has);
}

// How far apart GDI+ itself puts two lines of the font, which differs from
// the family's line spacing by its rounding (Wine rounds to whole pixels).
float line_spacing(const GdipFont *font) {
    const RectF layout(0.0f, 0.0f, 65536.0f, 65536.0f);
    RectF one, two;
    const GdipBackend *gdip = font->backend;
    if (GdipMeasureString(gdip->back_buffer_graphics, L"H", 1, font->gdi_font, &layout, gdip->text_format, &one,
                          nullptr, nullptr) == Ok &&
        GdipMeasureString(gdip->back_buffer_graphics, L"H\nH", 3, font->gdi_font, &layout, gdip->text_format, &two,
                          nullptr, nullptr) == Ok &&
        two.Height > one.Height)
        return two.Height - one.Height;
    return font->line_spacing;
}

// Measures a span in its font, or draws it too when `draw` is set, at
// (x, top): UTF-8 to UTF-16 on the stack, or in a buffer of its own for a
// span longer than that.
float span(const GdipFont *font, uint8_t slot, const char *text, int length, bool draw, float x, float top) {
    GpFont *in = slot ? font->stand_ins[slot - 1].font : font->gdi_font;
    WCHAR local[TEXT_UNITS];
    WCHAR *units = local;
    if (length > TEXT_UNITS && !(units = (WCHAR *)malloc((size_t)length * sizeof(WCHAR)))) return 0.0f;
    const int count = to_utf16(text, length, units, length > TEXT_UNITS ? length : TEXT_UNITS);
    const GdipBackend *gdip = font->backend;
    const float advance = measure_in(gdip, in, units, count);
    if (draw) {
        const RectF layout(x, top + (slot ? font->stand_ins[slot - 1].shift : 0.0f), 0.0f, 0.0f);
        GdipDrawString(gdip->back_buffer_graphics, units, count, in, &layout, gdip->text_format, gdip->brush);
    }
    if (units != local) free(units);
    return advance;
}

}  // namespace

GdipFont *gdip_font_create(GdipBackend *gdip, const char *name, int size) {
    GdipFont *font = (GdipFont *)calloc(1, sizeof(GdipFont));
    if (!font) return nullptr;
    font->backend = gdip;
    WCHAR family_name[NAME_UNITS + 1];
    const int units = name ? to_utf16(name, -1, family_name, NAME_UNITS) : 0;
    if (units > 0) {
        family_name[units] = 0;
        GpFontFamily *family = nullptr;
        if (GdipCreateFontFamilyFromName(family_name, nullptr, &family) == Ok) {
            GdipCreateFont(family, (REAL)size, FontStyleRegular, UnitPixel, &font->gdi_font);
            GdipDeleteFontFamily(family);
        }
    }
    start_fallback(font, nullptr, 0);
    font->characters_unread = font->gdi_font != nullptr;
    return font;
}

GdipFont *gdip_font_from_memory(GdipBackend *gdip, const void *data, int size_bytes, int size) {
    GpFontCollection *collection = registration_slot(gdip);
    if (!collection || GdipPrivateAddMemoryFont(collection, data, size_bytes) != Ok) return nullptr;
    GdipFont *font = gdip_font_from_collection(gdip, size);
    if (font) start_fallback_from_data(font, data, (size_t)size_bytes);
    return font;
}

GdipFont *gdip_font_from_file(GdipBackend *gdip, const wchar_t *path, int size) {
    GpFontCollection *collection = registration_slot(gdip);
    if (!collection || GdipPrivateAddFontFile(collection, path) != Ok) return nullptr;
    GdipFont *font = gdip_font_from_collection(gdip, size);
    if (!font) return nullptr;
    // The file once more, for its cmap.
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER length = {};
    void *data = nullptr;
    DWORD got = 0;
    if (file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &length) && length.QuadPart > 0 &&
        length.QuadPart < (1 << 30) && (data = malloc((size_t)length.QuadPart)) &&
        ReadFile(file, data, (DWORD)length.QuadPart, &got, nullptr) && got == length.QuadPart)
        start_fallback_from_data(font, data, got);
    else
        start_fallback(font, nullptr, 0);
    free(data);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return font;
}

GdipFont *gdip_font_from_collection(GdipBackend *gdip, int size) {
    if (gdip->collection_count < 0 || gdip->collection_count >= GDIP_FONT_COLLECTIONS) return nullptr;
    GpFontCollection *collection = gdip->font_collections[gdip->collection_count];
    if (!collection) return nullptr;

    GdipFont *font = (GdipFont *)calloc(1, sizeof(GdipFont));
    if (!font) return nullptr;
    font->backend = gdip;
    INT count = 0, found = 0;
    GpFontFamily **families = nullptr;
    if (GdipGetFontCollectionFamilyCount(collection, &count) != Ok || count < 1) goto fail;
    families = (GpFontFamily **)calloc((size_t)count, sizeof(GpFontFamily *));
    if (!families || GdipGetFontCollectionFamilyList(collection, count, families, &found) != Ok || found < 1)
        goto fail;
    // The family is the data's own: the one just added comes last.
    if (GdipCreateFont(families[found - 1], (REAL)size, FontStyleRegular, UnitPixel, &font->gdi_font) != Ok) goto fail;
    free(families);
    ++gdip->collection_count;
    return font;

fail:
    free(families);
    free(font);
    return nullptr;
}

void gdip_font_free(GdipFont *font) {
    if (!font) return;
    for (int32_t i = 0; i < font->stand_in_count; ++i) GdipDeleteFont(font->stand_ins[i].font);
    fallback_free(&font->fallback);
    if (font->gdi_font) GdipDeleteFont(font->gdi_font);
    free(font);
}

void gdip_forget_families(GdipBackend *gdip) {
    GdipFamilies *families = gdip->families;
    if (!families) return;
    for (int32_t i = 0; i < families->count; ++i) {
        if (families->known[i].family) GdipDeleteFontFamily(families->known[i].family);
        free(families->known[i].has);
    }
    free(families->known);
    free(families->installed);
    free(families);
    gdip->families = nullptr;
}

void gdip_set_font(struct nk_context *ctx, GdipFont *font) {
    if (!font) return;
    font->user_font.userdata = nk_handle_ptr(font);
    REAL size = 0.0f;
    if (font->gdi_font) GdipGetFontSize(font->gdi_font, &size);
    font->user_font.height = size;
    font->user_font.width = gdip_text_width;
    nk_style_set_font(ctx, &font->user_font);
}

float gdip_text_width(nk_handle handle, float height, const char *text, int length) {
    (void)height;
    GdipFont *font = (GdipFont *)handle.ptr;
    if (!font || !text || length <= 0) return 0.0f;
    if (font->characters_unread) read_characters(font);
    if (fallback_needed(&font->fallback, text, length))
        return (float)fallback_layout(&font->fallback, text, length,
                                      [&](int, uint8_t slot, const char *piece, int bytes, double) {
                                          return span(font, slot, piece, bytes, false, 0.0f, 0.0f);
                                      });
    if (length > TEXT_UNITS) return measure_long(font, text, length);
    WCHAR units[TEXT_UNITS];
    return measure(font, units, to_utf16(text, length, units, TEXT_UNITS));
}

void gdip_draw_text(short x, short y, unsigned short w, unsigned short h, const char *text, int length,
                    GdipFont *font, struct nk_color color) {
    // The run starts at the rectangle's top left and is neither wrapped nor
    // clipped to it (NoWrap | NoClip). A zero-sized layout rectangle means "no
    // bounds" and draws the same; Wine's GDI+ needs it, as it otherwise drops
    // the lines below the rectangle's height and the characters past its width.
    (void)w;
    (void)h;
    const RectF layout((REAL)x, (REAL)y, 0.0f, 0.0f);
    if (!font || !text || length <= 0) return;
    if (font->characters_unread) read_characters(font);
    if (fallback_needed(&font->fallback, text, length)) {
        GdipSetSolidFillColor(font->backend->brush, draw_argb(color));
        const float spacing = line_spacing(font);
        fallback_layout(&font->fallback, text, length, [&](int line, uint8_t slot, const char *piece, int bytes, double at) {
            return span(font, slot, piece, bytes, true, (float)(x + at), y + line * spacing);
        });
        return;
    }

    // Drawing cannot be split like measuring (pieces would need placing), so
    // the rare run longer than the stack buffer gets a buffer of its own.
    WCHAR local[TEXT_UNITS];
    WCHAR *units = local;
    if (length > TEXT_UNITS && !(units = (WCHAR *)malloc((size_t)length * sizeof(WCHAR)))) return;
    const int count = to_utf16(text, length, units, length > TEXT_UNITS ? length : TEXT_UNITS);

    const GdipBackend *gdip = font->backend;
    GdipSetSolidFillColor(gdip->brush, draw_argb(color));
    GdipDrawString(gdip->back_buffer_graphics, units, count, font->gdi_font, &layout, gdip->text_format, gdip->brush);
    if (units != local) free(units);
}
