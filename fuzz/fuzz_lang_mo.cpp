// The catalogue reader over any bytes: a catalogue the Windows programs or
// the page were handed may be cut short or corrupt, and must then answer in
// English or with a text that lies, zero byte and all, within its bytes.
//
// Input layout (fuzz/make_seeds.py writes the same):
//   bytes 0-7  the count n for trn(), little-endian
//   byte 8     the length of the keys that follow
//   then       the keys, parted by zero bytes: a text, its plural, a context
//   the rest   the catalogue
// Besides the input's keys, every text the catalogue's own table names is
// asked, alone, with its plural and in its context.
#include <memory>
#include <vector>

#include "fuzz_common.h"
#include "lang/lang.h"
#include "lang/lang_mo.h"

namespace {

struct Key {
    std::string context, msgid, plural;
};

// "context EOT msgid NUL plural", any part of it missing.
Key split(const std::string &raw) {
    Key k;
    const size_t nul = raw.find('\0');
    const std::string head = raw.substr(0, nul);
    const size_t eot = head.find('\004');
    if (eot != std::string::npos) k.context = head.substr(0, eot);
    k.msgid = eot == std::string::npos ? head : head.substr(eot + 1);
    if (nul != std::string::npos) k.plural = raw.substr(nul + 1, raw.find('\0', nul + 1) - nul - 1);
    return k;
}

// The originals named by the table at the offset the header gives, as far
// as they lie within the bytes, in either byte order.
void table_keys(const uint8_t *mo, size_t size, std::vector<Key> *keys) {
    if (size < 28) return;
    auto word = [&](size_t at) {
        uint32_t v;
        memcpy(&v, mo + at, 4);
        return mo[0] == 0x95 ? __builtin_bswap32(v) : v;
    };
    const uint32_t count = word(8), table = word(12);
    for (uint32_t i = 0; i < count && i < 64 && (uint64_t)table + i * 8 + 8 <= size; ++i) {
        const uint32_t len = word(table + i * 8), offset = word(table + i * 8 + 4);
        if ((uint64_t)offset + len <= size) keys->push_back(split(std::string((const char *)mo + offset, len)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 9) return 0;
    uint64_t n = 0;
    for (int i = 7; i >= 0; --i) n = n << 8 | data[i];
    const size_t key_size = std::min<size_t>(data[8], size - 9);
    std::vector<Key> keys{split(std::string((const char *)data + 9, key_size))};

    // The catalogue on the heap in a block of just its size: AddressSanitizer
    // sees any read past its end.
    const size_t mo_size = size - 9 - key_size;
    std::unique_ptr<uint8_t[]> mo(new uint8_t[mo_size]);
    if (mo_size) memcpy(mo.get(), data + 9 + key_size, mo_size);
    table_keys(mo.get(), mo_size, &keys);
    const bool taken = lang_use_catalogue(mo.get(), mo_size);

    const uintptr_t low = (uintptr_t)mo.get(), high = low + mo_size;
    auto sound = [&](const char *answer, const char *english) {
        if (answer == english) return true;
        const uintptr_t at = (uintptr_t)answer;
        return taken && at >= low && at < high && memchr(answer, 0, high - at) != nullptr;
    };
    for (const Key &k : keys) {
        const char *id = k.msgid.c_str(), *plural = k.plural.c_str();
        FUZZ_CHECK(sound(tr(id), id));
        FUZZ_CHECK(sound(trn(id, plural, (unsigned long)n), n == 1 ? id : plural));
        FUZZ_CHECK(sound(trc(k.context.c_str(), id), id));
    }
    lang_use_catalogue(nullptr, 0);
    return 0;
}
