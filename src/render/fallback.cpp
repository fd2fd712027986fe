#include "render/fallback.h"

#include <stdlib.h>
#include <string.h>

namespace {

int compare_ranges(const void *a, const void *b) {
    const uint32_t x = ((const FallbackRange *)a)->first, y = ((const FallbackRange *)b)->first;
    return x < y ? -1 : x > y;
}

// Sorts and merges touching or overlapping ranges in place; returns the count.
int32_t merge_ranges(FallbackRange *r, int32_t count) {
    if (count <= 0) return 0;
    qsort(r, (size_t)count, sizeof *r, compare_ranges);
    int32_t out = 0;
    for (int32_t i = 1; i < count; ++i) {
        if (r[i].first <= r[out].last + 1) {
            if (r[i].last > r[out].last) r[out].last = r[i].last;
        } else {
            r[++out] = r[i];
        }
    }
    return out + 1;
}

// Knuth's multiplicative hash: code points of one script sit side by side.
uint32_t bucket(uint32_t key, uint32_t capacity) { return (key * 2654435761u) & (capacity - 1); }

// Room for one more answer, at most half full so that probes stay short.
bool reserve(Fallback *f) {
    if (f->capacity && (f->used + 1) * 2 <= f->capacity) return true;
    const uint32_t capacity = f->capacity ? f->capacity * 2 : 64;
    uint32_t *keys = (uint32_t *)calloc(capacity, sizeof *keys);
    uint8_t *slots = (uint8_t *)malloc(capacity);
    if (!keys || !slots) {
        free(keys);
        free(slots);
        return false;
    }
    for (uint32_t i = 0; i < f->capacity; ++i) {
        if (!f->keys[i]) continue;
        uint32_t b = bucket(f->keys[i], capacity);
        while (keys[b]) b = (b + 1) & (capacity - 1);
        keys[b] = f->keys[i];
        slots[b] = f->slots[i];
    }
    free(f->keys);
    free(f->slots);
    f->keys = keys;
    f->slots = slots;
    f->capacity = capacity;
    return true;
}

uint16_t u16(const uint8_t *p) { return (uint16_t)(p[0] << 8 | p[1]); }
uint32_t u32(const uint8_t *p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

// Format 4: segments of 16-bit codes, each mapped by a delta or through the
// glyph array; a code maps when its glyph is not 0.
void read_format4(const uint8_t *t, size_t size, FallbackRanges *out) {
    if (size < 14) return;
    const size_t length = u16(t + 2) < size ? u16(t + 2) : size;
    const uint32_t segments = u16(t + 6) / 2;
    const uint8_t *ends = t + 14, *starts = ends + 2 * segments + 2, *deltas = starts + 2 * segments,
                  *offsets = deltas + 2 * segments;
    if ((size_t)(offsets + 2 * segments - t) > length) return;
    for (uint32_t s = 0; s < segments; ++s) {
        const uint32_t start = u16(starts + 2 * s), end = u16(ends + 2 * s);
        const uint16_t delta = u16(deltas + 2 * s), offset = u16(offsets + 2 * s);
        for (uint32_t c = start; c <= end && c != 0xFFFF; ++c) {
            uint32_t glyph;
            if (offset == 0) {
                glyph = (c + delta) & 0xFFFF;
            } else {
                const uint8_t *g = offsets + 2 * s + offset + 2 * (c - start);
                if ((size_t)(g + 2 - t) > length) break;
                glyph = u16(g);
                if (glyph) glyph = (glyph + delta) & 0xFFFF;
            }
            if (glyph) out->add(c, c);
        }
    }
}

// Format 12: groups of 32-bit codes mapped to consecutive glyphs.
void read_format12(const uint8_t *t, size_t size, FallbackRanges *out) {
    if (size < 16) return;
    const uint32_t groups = u32(t + 12);
    if (groups > (size - 16) / 12) return;
    for (uint32_t g = 0; g < groups; ++g) {
        const uint8_t *p = t + 16 + 12 * g;
        uint32_t first = u32(p), last = u32(p + 4);
        if (last > 0x10FFFF) last = 0x10FFFF;
        if (u32(p + 8) == 0) ++first;   // the group's first code goes to .notdef
        out->add(first, last);
    }
}

}  // namespace

void FallbackRanges::add(uint32_t first, uint32_t last) {
    if (failed || first > last) return;
    if (count && first == r[count - 1].last + 1) {
        r[count - 1].last = last;
        return;
    }
    if (count == capacity) {
        const int32_t more = capacity ? capacity * 2 : 64;
        FallbackRange *grown = (FallbackRange *)realloc(r, (size_t)more * sizeof *r);
        if (!grown) {
            failed = true;
            return;
        }
        r = grown;
        capacity = more;
    }
    r[count++] = FallbackRange{first, last};
}

void fallback_init(Fallback *f, FallbackResolve resolve, void *owner) {
    memset(f, 0, sizeof *f);
    f->resolve = resolve;
    f->owner = owner;
}

bool fallback_set_own(Fallback *f, const FallbackRange *ranges, int32_t count) {
    FallbackRange *own = count > 0 ? (FallbackRange *)malloc((size_t)count * sizeof *own) : nullptr;
    if (!own) return false;
    memcpy(own, ranges, (size_t)count * sizeof *own);
    free(f->own);
    f->own = own;
    f->own_count = merge_ranges(own, count);
    memset(f->own_ascii, 0, sizeof f->own_ascii);
    for (int32_t i = 0; i < f->own_count && own[i].first < 0x80; ++i)
        for (uint32_t c = own[i].first; c <= own[i].last && c < 0x80; ++c) f->own_ascii[c >> 5] |= 1u << (c & 31);
    return true;
}

void fallback_free(Fallback *f) {
    free(f->own);
    free(f->keys);
    free(f->slots);
    memset(f, 0, sizeof *f);
}

bool ranges_have(const FallbackRange *ranges, int32_t count, uint32_t c) {
    int32_t low = 0, high = count - 1;
    while (low <= high) {
        const int32_t mid = (low + high) / 2;
        if (c < ranges[mid].first)
            high = mid - 1;
        else if (c > ranges[mid].last)
            low = mid + 1;
        else
            return true;
    }
    return false;
}

bool fallback_own(const Fallback *f, uint32_t c) {
    if (!f->own || f->off || c < 0x20 || (c >= 0x7F && c < 0xA0)) return true;
    if (c < 0x80) return (f->own_ascii[c >> 5] >> (c & 31)) & 1;
    return ranges_have(f->own, f->own_count, c);
}

uint8_t fallback_slot(Fallback *f, uint32_t c) {
    if (fallback_own(f, c)) return FALLBACK_OWN;
    const uint32_t key = c + 1;
    if (f->capacity) {
        for (uint32_t b = bucket(key, f->capacity); f->keys[b]; b = (b + 1) & (f->capacity - 1))
            if (f->keys[b] == key) return f->slots[b];
    }
    const uint8_t slot = f->resolve ? f->resolve(f->owner, c) : (uint8_t)FALLBACK_NONE;
    // Without room the answer is simply asked for again next time.
    if (reserve(f)) {
        uint32_t b = bucket(key, f->capacity);
        while (f->keys[b]) b = (b + 1) & (f->capacity - 1);
        f->keys[b] = key;
        f->slots[b] = slot;
        ++f->used;
    }
    return slot;
}

bool fallback_needed(const Fallback *f, const char *text, int32_t length) {
    if (!f->own || f->off) return false;
    for (int32_t i = 0; i < length;) {
        const unsigned char b = (unsigned char)text[i];
        if (b < 0x80) {
            if (b != '\n' && b != '\r' && !fallback_own(f, b)) return true;
            ++i;
            continue;
        }
        uint32_t c;
        i += utf8_decode(text + i, length - i, &c);
        if (!fallback_own(f, c)) return true;
    }
    return false;
}

int32_t utf8_sequence(const unsigned char *s, int32_t left, uint32_t *code_point) {
    if (s[0] < 0x80) {
        *code_point = s[0];
        return 1;
    }
    int32_t n;
    uint32_t c, least;
    if ((s[0] & 0xE0) == 0xC0) {
        n = 2;
        c = s[0] & 0x1Fu;
        least = 0x80;
    } else if ((s[0] & 0xF0) == 0xE0) {
        n = 3;
        c = s[0] & 0x0Fu;
        least = 0x800;
    } else if ((s[0] & 0xF8) == 0xF0) {
        n = 4;
        c = s[0] & 0x07u;
        least = 0x10000;
    } else {
        return 0;
    }
    if (n > left) return 0;
    for (int32_t i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (s[i] & 0x3Fu);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xFDD0 && c <= 0xFDEF) ||
        (c & 0xFFFE) == 0xFFFE)
        return 0;
    *code_point = c;
    return n;
}

int32_t utf8_decode(const char *s, int32_t left, uint32_t *code_point) {
    const int32_t n = utf8_sequence((const unsigned char *)s, left, code_point);
    if (n > 0) return n;
    *code_point = 0xFFFD;
    return 1;
}

bool fallback_combining(uint32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F);
}

const uint8_t *sfnt_table(const void *font, size_t size, uint32_t tag, size_t *table_size) {
    const uint8_t *data = (const uint8_t *)font;
    if (!data || size < 12) return nullptr;
    size_t base = 0;
    if (u32(data) == 0x74746366) {   // 'ttcf': the first font of the collection
        if (size < 16) return nullptr;
        base = u32(data + 12);
        if (base > size - 12) return nullptr;
    }
    const uint32_t tables = u16(data + base + 4);
    if (tables > (size - base - 12) / 16) return nullptr;
    for (uint32_t i = 0; i < tables; ++i) {
        const uint8_t *entry = data + base + 12 + 16 * i;
        if (u32(entry) != tag) continue;
        const uint32_t offset = u32(entry + 8), length = u32(entry + 12);
        if (offset > size || length > size - offset) return nullptr;
        *table_size = length;
        return data + offset;
    }
    return nullptr;
}

int32_t cmap_ranges(const uint8_t *cmap, size_t size, FallbackRange **out) {
    *out = nullptr;
    if (!cmap || size < 4) return 0;
    const uint32_t subtables = u16(cmap + 2);
    if (subtables > (size - 4) / 8) return 0;
    // The full repertoire (format 12) where the font has one, else the BMP's.
    const uint8_t *best = nullptr;
    size_t best_size = 0;
    int best_rank = 0;
    for (uint32_t i = 0; i < subtables; ++i) {
        const uint8_t *record = cmap + 4 + 8 * i;
        const uint16_t platform = u16(record), encoding = u16(record + 2);
        const uint32_t offset = u32(record + 4);
        if (offset > size - 4) continue;
        const uint16_t format = u16(cmap + offset);
        const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
        const int rank = !unicode ? 0 : format == 12 ? 2 : format == 4 ? 1 : 0;
        if (rank > best_rank) {
            best = cmap + offset;
            best_size = size - offset;
            best_rank = rank;
        }
    }
    FallbackRanges ranges;
    if (best_rank == 2) read_format12(best, best_size, &ranges);
    if (best_rank == 1) read_format4(best, best_size, &ranges);
    if (ranges.failed || !ranges.count) {
        free(ranges.r);
        return 0;
    }
    *out = ranges.r;
    return merge_ranges(ranges.r, ranges.count);
}
