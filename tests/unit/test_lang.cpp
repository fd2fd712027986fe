// The catalogue reader of the Windows programs and the page (lang_mo.cpp)
// against glibc's gettext over the same .mo files, over catalogues that are
// not whole, and the choice among the catalogues a program carries.
#include <gtest/gtest.h>
#include <libintl.h>
#include <limits.h>
#include <locale.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "lang/lang.h"
#include "lang/lang_mo.h"

// glibc's count of catalogue changes: raised, it drops what it has looked up.
extern "C" int _nl_msg_cat_cntr;

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::string> shipped() {
    std::istringstream list(KELM_LANGUAGES);
    return {std::istream_iterator<std::string>(list), std::istream_iterator<std::string>()};
}

Bytes read_mo(const std::string &dir, const std::string &code) {
    std::ifstream in(dir + "/" + code + "/LC_MESSAGES/kelm-patcher.mo", std::ios::binary);
    Bytes mo{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_GT(mo.size(), 28u) << dir << ": no catalogue " << code;
    return mo;
}

struct Message {
    std::string context, msgid, plural;
};

// Every text any shipped catalogue translates (each language is asked all of
// them, its untranslated ones too), from the catalogues' tables of originals:
// msgfmt writes them in this machine's byte order.
const std::vector<Message> &messages() {
    static const std::vector<Message> all = [] {
        std::set<std::string> keys;
        for (const auto &code : shipped()) {
            const Bytes mo = read_mo(KELM_LOCALE_DIR, code);
            auto word = [&](size_t at) {
                uint32_t v = 0;
                if (at + 4 <= mo.size()) memcpy(&v, &mo[at], 4);
                return v;
            };
            for (uint32_t i = 1, table = word(12); i < word(8); ++i) {   // the header aside
                const uint32_t len = word(table + i * 8), offset = word(table + i * 8 + 4);
                if ((uint64_t)offset + len < mo.size()) keys.emplace((const char *)&mo[offset], len);
            }
        }
        std::vector<Message> out;
        for (const auto &key : keys) {   // [context EOT] msgid [NUL plural]
            const size_t eot = key.find('\004'), nul = key.find('\0');
            const size_t start = eot == std::string::npos ? 0 : eot + 1;
            out.push_back({eot == std::string::npos ? "" : key.substr(0, eot), key.substr(start, nul - start),
                           nul == std::string::npos ? "" : key.substr(nul + 1)});
        }
        return out;
    }();
    return all;
}

const unsigned long kFewCounts[] = {0, 1, 2, 5, 22};

struct Answer {
    const char *text, *english;
};

// What the reader answers for every message: each text alone or in its
// context, each plural for a few counts.
std::vector<Answer> ask() {
    std::vector<Answer> out;
    for (const auto &m : messages()) {
        const char *id = m.msgid.c_str(), *plural = m.plural.c_str();
        if (!m.context.empty())
            out.push_back({trc(m.context.c_str(), id), id});
        else if (m.plural.empty())
            out.push_back({tr(id), id});
        else
            for (unsigned long n : kFewCounts) out.push_back({trn(id, plural, n), n == 1 ? id : plural});
    }
    return out;
}

// Empty where the reader, over a copy of `mo` on the heap of just its size
// (AddressSanitizer sees a read past it), answers each text in English or
// with a text that lies, zero byte and all, within the copy, and where
// `whole` is given, with what it says over the whole catalogue (an empty
// `whole`: in English only); else the first that breaks this.
std::string stray(const Bytes &mo, const std::vector<std::string> *whole = nullptr) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[mo.size()]);
    if (!mo.empty()) memcpy(copy.get(), mo.data(), mo.size());
    lang_use_catalogue(copy.get(), mo.size());
    const std::vector<Answer> answers = ask();
    lang_use_catalogue(nullptr, 0);
    const uintptr_t low = (uintptr_t)copy.get(), high = low + mo.size();
    for (size_t i = 0; i < answers.size(); ++i) {
        const Answer &a = answers[i];
        if (a.text == a.english) continue;
        const uintptr_t at = (uintptr_t)a.text;
        if (at < low || at >= high || !memchr(a.text, 0, high - at)) return std::string("outside: ") + a.english;
        if (whole && (whole->empty() || (*whole)[i] != a.text))
            return "\"" + std::string(a.text) + "\" for " + a.english;
    }
    return "";
}

std::vector<std::string> answers_over(const Bytes &mo) {
    EXPECT_TRUE(lang_use_catalogue(mo.data(), mo.size()));
    std::vector<std::string> texts;
    for (const Answer &a : ask()) texts.push_back(a.text);
    lang_use_catalogue(nullptr, 0);
    return texts;
}

// glibc's own answer for a text in a context (gettext.h's pgettext).
const char *glibc_in_context(const std::string &context, const char *msgid) {
    const std::string key = context + '\004' + msgid;
    const char *found = dgettext(KELM_TEXT_DOMAIN, key.c_str());
    return strcmp(found, key.c_str()) == 0 ? msgid : found;
}

TEST(Lang, ReaderAnswersAsGlibcDoes) {
    if (!setlocale(LC_ALL, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale: glibc would not honour LANGUAGE";
    ASSERT_TRUE(bindtextdomain(KELM_TEXT_DOMAIN, KELM_LOCALE_DIR));
    ASSERT_TRUE(bind_textdomain_codeset(KELM_TEXT_DOMAIN, "UTF-8"));
    std::vector<unsigned long> counts;
    for (unsigned long n = 0; n <= 250; ++n) counts.push_back(n);
    for (unsigned long n : {1000ul, 1001ul, 1002ul, 1005ul, 1011ul, 1021ul, 1111ul, 123456ul, 4294967295ul,
                            4294967297ul, ULONG_MAX - 1, ULONG_MAX})
        counts.push_back(n);

    for (const auto &code : shipped()) {
        const Bytes mo = read_mo(KELM_LOCALE_DIR, code);
        ASSERT_TRUE(lang_use_catalogue(mo.data(), mo.size())) << code;
        setenv("LANGUAGE", code.c_str(), 1);
        ++_nl_msg_cat_cntr;
        ASSERT_STRNE("English", glibc_in_context("language name", "English")) << code << ": glibc found no catalogue";
        int wrong = 0;
        auto agree = [&](const char *ours, const char *glibc, const Message &m, unsigned long n) {
            if (strcmp(ours, glibc) == 0 || ++wrong > 5) return;
            ADD_FAILURE() << code << ": \"" << m.msgid << "\" (n = " << n << "): ours \"" << ours << "\", glibc \""
                          << glibc << "\"";
        };
        for (const auto &m : messages()) {
            const char *id = m.msgid.c_str();
            if (!m.context.empty())
                agree(trc(m.context.c_str(), id), glibc_in_context(m.context, id), m, 0);
            else if (m.plural.empty())
                agree(tr(id), dgettext(KELM_TEXT_DOMAIN, id), m, 0);
            else
                for (unsigned long n : counts)
                    agree(trn(id, m.plural.c_str(), n), dngettext(KELM_TEXT_DOMAIN, id, m.plural.c_str(), n), m, n);
        }
        EXPECT_EQ(0, wrong) << code << ": texts that differ";
        EXPECT_STREQ(code.c_str(), lang_code()) << "the language the header names";
    }
    lang_use_catalogue(nullptr, 0);
    EXPECT_STREQ("en", lang_code());
    unsetenv("LANGUAGE");
}

TEST(Lang, CataloguesCutShortAnswerWhatTheyHold) {
    for (const auto &code : shipped()) {
        const Bytes mo = read_mo(KELM_LOCALE_DIR, code);
        const std::vector<std::string> whole = answers_over(mo);
        for (size_t size = 0; size < mo.size(); ++size) {
            const std::string fault = stray(Bytes(mo.begin(), mo.begin() + size), &whole);
            ASSERT_EQ("", fault) << code << " cut to " << size << " bytes";
        }
    }
}

TEST(Lang, CorruptCataloguesStayWithinTheirBytes) {
    for (const auto &code : shipped()) {
        Bytes mo = read_mo(KELM_LOCALE_DIR, code);
        uint32_t tables_end;   // the header, both tables and the hash table: the strings follow
        memcpy(&tables_end, &mo[24], 4);
        uint32_t hash_size;
        memcpy(&hash_size, &mo[20], 4);
        tables_end += hash_size * 4;
        ASSERT_LE(tables_end, mo.size()) << code;
        // Every byte of the header and tables, every 13th of the texts.
        for (size_t at = 0; at < mo.size(); at += at < tables_end ? 1 : 13) {
            const uint8_t was = mo[at];
            for (uint8_t to : {uint8_t(was ^ 0x01), uint8_t(was ^ 0x80), uint8_t(0)}) {
                mo[at] = to;
                const std::string fault = stray(mo);
                ASSERT_EQ("", fault) << code << ": byte " << at << " made " << (int)to;
            }
            mo[at] = was;
        }
    }
}

TEST(Lang, CataloguesThatDoNotReadLeaveEnglish) {
    const Bytes ru = read_mo(KELM_LOCALE_DIR, "ru");
    Bytes magic = ru, revision = ru, no_header = ru;
    magic[0] ^= 0x01;
    revision[6] = 2;   // major revision 2
    no_header[8] = 0;   // no message, not even the header
    no_header[9] = no_header[10] = no_header[11] = 0;
    const struct {
        const char *what;
        Bytes mo;
    } rows[] = {{"zero bytes", {}}, {"a header alone", Bytes(ru.begin(), ru.begin() + 28)}, {"wrong magic", magic},
                {"a revision to come", revision}, {"no header text", no_header}};
    const std::vector<std::string> english;
    for (const auto &row : rows) {
        EXPECT_FALSE(lang_use_catalogue(row.mo.data(), row.mo.size())) << row.what;
        EXPECT_EQ("", stray(row.mo, &english)) << row.what;
    }
}

// msgfmt's own big-endian build of each catalogue reads as the native one.
// Big-endian, and keyed by hash as the Windows programs carry them.
TEST(Lang, BigEndianAndKeyedCataloguesReadTheSame) {
    for (const auto &code : shipped()) {
        const Bytes little = read_mo(KELM_LOCALE_DIR, code);
        for (const char *dir : {KELM_BIG_ENDIAN_DIR, KELM_KEYED_DIR}) {
            const Bytes other = read_mo(dir, code);
            ASSERT_TRUE(other != little) << code << ": the same bytes both ways";
            EXPECT_EQ(answers_over(little), answers_over(other)) << code << " " << dir;
            EXPECT_EQ("", stray(other)) << code;
        }
    }
}

// The Russian catalogue with its rule (three forms) replaced in place by
// another, padded with spaces; what n = 0, 1, 2, 5 then answer: the form's
// index, or -1 for the English. A rule that does not read counts as n != 1.
TEST(Lang, PluralRulesReadAsCOrFallBackToTwoForms) {
    const Bytes ru = read_mo(KELM_LOCALE_DIR, "ru");
    const std::string text(ru.begin(), ru.end()), key = "; plural=";
    ASSERT_NE(std::string::npos, text.find(key));
    const size_t at = text.find(key) + key.size(), end = text.find(';', at);
    ASSERT_NE(std::string::npos, end);
    const Message *m = nullptr;
    for (const auto &each : messages())
        if (!each.plural.empty() && !m) m = &each;
    ASSERT_TRUE(m);
    const char *id = m->msgid.c_str(), *plural = m->plural.c_str();
    ASSERT_TRUE(lang_use_catalogue(ru.data(), ru.size()));
    const std::string forms[3] = {trn(id, plural, 1), trn(id, plural, 2), trn(id, plural, 5)};
    ASSERT_TRUE(forms[0] != forms[1] && forms[1] != forms[2]) << id;

    const struct {
        const char *rule;
        int form[4];
    } rows[] = {
        {"n==1 ? 0 : n<5 ? 1 : 2", {1, 0, 1, 2}},
        {"(n%10)==1 ? 0 : 2", {2, 0, 2, 2}},
        {"!(n!=1) ? 0 : (n)>=2 && (n)<=4 ? 1 : 2", {2, 0, 1, 2}},
        {"n", {0, 1, 2, -1}},
        {"3", {-1, -1, -1, -1}},
        {"n/0", {1, 0, 1, 1}},
        {"n%(n-n) ? 1 : 2", {1, 0, 1, 1}},
        {"n==1 ? 0", {1, 0, 1, 1}},
        {"n==1 ? 0 : 1)", {1, 0, 1, 1}},
        {"x", {1, 0, 1, 1}},
        {"", {1, 0, 1, 1}},
        {"!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!n", {1, 0, 1, 1}},
        {"((((((((((((((((((((((((((((((((((((((((n))))))))))))))))))))))))))))))))))))))))", {1, 0, 1, 1}},
    };
    for (const auto &row : rows) {
        ASSERT_LE(strlen(row.rule), end - at) << row.rule;
        Bytes mo = ru;
        std::string rule = row.rule;
        rule.resize(end - at, ' ');
        memcpy(&mo[at], rule.data(), rule.size());
        ASSERT_TRUE(lang_use_catalogue(mo.data(), mo.size())) << row.rule;
        const unsigned long counts[4] = {0, 1, 2, 5};
        for (int i = 0; i < 4; ++i) {
            const unsigned long n = counts[i];
            const int f = row.form[i];
            EXPECT_EQ(f < 0 ? (n == 1 ? m->msgid : m->plural) : forms[f], trn(id, plural, n))
                << "rule \"" << row.rule << "\", n = " << n;
        }
        lang_use_catalogue(nullptr, 0);
        EXPECT_EQ("", stray(mo)) << row.rule;
    }
}

TEST(Lang, PickServesTheClosestCatalogue) {
    const std::vector<std::string> codes = shipped();
    std::vector<const char *> available;
    for (const auto &code : codes) available.push_back(code.c_str());
    const struct {
        std::vector<const char *> wanted;
        const char *served;   // null: English
    } rows[] = {
        {{"es-MX"}, "es"},
        {{"es_AR.UTF-8"}, "es"},
        {{"de_DE@euro"}, "de"},
        {{"pt-BR"}, "pt_BR"},
        {{"pt"}, "pt_BR"},
        {{"zh-CN"}, "zh_CN"},
        {{"zh-Hans"}, "zh_CN"},
        {{"zh-Hans-CN"}, "zh_CN"},
        {{"zh-SG"}, "zh_CN"},
        {{"zh-TW"}, nullptr},
        {{"zh-Hant"}, nullptr},
        {{"zh-HK"}, nullptr},
        {{"zh-Hant-CN"}, nullptr},
        {{"en-US", "de"}, nullptr},
        {{"fr-CA", "de"}, "fr"},
        {{"tlh", "de-AT"}, "de"},
        {{"", "-", "_", "uk"}, "uk"},
        {{}, nullptr},
        {{"ES-mx"}, "es"},
        {{"ZH-hANS"}, "zh_CN"},
    };
    for (const auto &row : rows) {
        const int got = lang_pick(row.wanted.data(), row.wanted.size(), available.data(), available.size());
        std::string wanted;
        for (const char *tag : row.wanted) wanted += std::string(" \"") + tag + '"';
        EXPECT_EQ(row.served ? row.served : "English", got < 0 ? "English" : codes.at(got)) << "wanted" << wanted;
    }
}

}  // namespace
