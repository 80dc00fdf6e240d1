#include "script_generator.h"

#include "seeded_random.h"

namespace differential {

const char16_t* const kScratchNames[] = {u"VeskReplay", u"VeskReplay2", u"VeskReplay3"};
const int kScratchNameCount = sizeof kScratchNames / sizeof kScratchNames[0];

// Two names differ only in letter case, two beyond ASCII: the registry compares names without case.
const char16_t* const kValueNames[] = {u"V", u"v", u"Name Two", u"It's", u"ThreadingModel", u"\u00C4rger", u"\u00E4rger"};
const int kValueNameCount = sizeof kValueNames / sizeof kValueNames[0];

const Variable kVariables[] = {
    {u"Module", u"C:\\Vesk Test\\Vesk.dll"},
    {u"Name", u"Replay"},
    {u"Percent", u"100%"},
};
const int kVariableCount = sizeof kVariables / sizeof kVariables[0];

namespace {

// Every case draws from its own seed; the salt keeps these draws apart from the other generator's.
class Random : public SeededRandom {
public:
    explicit Random(uint32_t seed) : SeededRandom(0x5645534B00000000ull, seed) {}
};

const char16_t* const kKeyNames[] = {
    u"A", u"a", u"Key", u"KEY", u"Two Words", u"It's", u"Dup", u"\u00C4rger", u"\u00E4rger", u"x{y}",
    // Names the registration pass will not force-remove.
    u"CLSID", u"Interface", u"TypeLib", u"Software",
    // Expanded before the walk: a name, a percent sign.
    u"%name%", u"Full%%", u"%Percent%",
};

const char16_t* const kStrings[] = {u"", u"Apartment", u"it's", u"a b", u"{x}", u"%MODULE%", u"%Name%", u"50%%", u"}"};
const char16_t* const kNumbers[] = {u"0",          u"1",     u"42",    u"4294967295", u"007",       u"3.5",
                                    u"2.5",        u"1e3",   u"1.2,5", u"&HFFFFFFFF", u"&H80000000", u"-&H10"};
// Text the number conversion rejects, or a number beyond 32 bits: the entry fails.
const char16_t* const kNotNumbers[] = {u"4294967296", u"-1",          u"12abc",      u"",
                                       u"0x10",       u" 5",         u"99999999999", u"&H100000000"};
const char16_t* const kHex[] = {u"", u"00", u"aB0f", u"abc", u"zz", u"0g", u"DEADBEEF", u"0123456789abcdefABCDEF"};
const char16_t* const kLists[] = {u"", u"a\\0b", u"a\\0\\0b", u"x\\", u"\\0", u"one\\0two\\0three"};

// What a script goes wrong with, if anything: one error at one entry.
enum class Fault { None, UnterminatedQuote, MissingEquals, Backslash, BadType, MissingBrace, StrayBrace, Deep,
                   UndefinedVariable, LonePercent, LongToken };
const Fault kFaults[] = {Fault::UnterminatedQuote, Fault::MissingEquals, Fault::Backslash, Fault::BadType,
                         Fault::MissingBrace,      Fault::StrayBrace,    Fault::Deep,      Fault::UndefinedVariable,
                         Fault::LonePercent,       Fault::LongToken};

class ScriptWriter {
public:
    explicit ScriptWriter(uint32_t seed) : m_random(seed)
    {
        if (m_random.Percent(20)) {
            m_fault = m_random.Pick(kFaults);
            m_faultAt = m_random.Below(12);
        }
    }

    GeneratedScript Write()
    {
        GeneratedScript script;
        script.perUser = m_random.Percent(25);
        const int blocks = 1 + m_random.Below(kScratchNameCount);
        for (int block = 0; block < blocks; ++block) {
            // Per user, the rewrite moves an HKCR block below HKCU\Software\Classes and leaves an
            // HKCU block where it is.
            const bool classes = script.perUser && m_random.Percent(75);
            Raw(classes ? u"HKCR" : u"HKCU");
            OpenBlock();
            if (!classes) {
                Raw(u"NoRemove");
                Raw(u"Software");
                OpenBlock();
            }
            // An HKCR block whose braces the rewrite miscounts stays in HKCR; where the user's classes
            // already hold its key, Windows' merged view writes there and Wine's HKCR (the machine's
            // classes alone) does not, so each HKCR block has a scratch key of its own.
            Raw(u"NoRemove");
            Raw(kScratchNames[classes ? block : 0]);
            OpenBlock();
            Entries(1);
            CloseBlock();
            if (!classes)
                CloseBlock();
            CloseBlock();
        }
        script.text = m_out;
        return script;
    }

private:
    void Blank()
    {
        static const char16_t* const kBlanks[] = {u" ", u"\t", u"\r\n", u"\n", u"  "};
        m_out += m_random.Pick(kBlanks);
    }
    // A token as it stands: a bare word, or text the writer has quoted itself.
    void Raw(const Text& token)
    {
        if (!m_out.empty())
            Blank();
        m_out += token;
    }
    void Raw(const char16_t* token) { Raw(Text(token)); }
    // A token of any text: quoted, with its quotes doubled, when it must be, and sometimes when not.
    void Word(const char16_t* text)
    {
        Text word(text);
        bool quote = word.empty() || m_random.Percent(30);
        for (char16_t c : word)
            if (c == u' ' || c == u'\t' || c == u'\'' || c == u'\r' || c == u'\n')
                quote = true;
        if (!quote && (word[0] == u'{' || word[0] == u'}' || word[0] == u'='))
            quote = m_random.Percent(80);  // else the bare word is read as that brace or sign
        if (!quote) {
            Raw(word);
            return;
        }
        Text quoted(1, u'\'');
        for (char16_t c : word) {
            quoted += c;
            if (c == u'\'')
                quoted += u'\'';
        }
        quoted += u'\'';
        Raw(quoted);
    }
    void OpenBlock() { Raw(u"{"); }
    void CloseBlock()
    {
        if (m_fault == Fault::MissingBrace && m_faultDue) {
            m_faultDue = false;  // this one is left out
        } else {
            // Only a token's first character is read: "}x" ends a block as "}" does.
            Raw(m_random.Percent(10) ? u"}x" : u"}");
        }
    }

    bool FaultHere()
    {
        if (m_fault == Fault::None || m_entry++ != m_faultAt)
            return false;
        if (m_fault == Fault::MissingBrace) {
            m_faultDue = true;  // the next closing brace goes missing
            return false;
        }
        return true;
    }

    void Entries(int level)
    {
        const int count = m_random.Below(level == 1 ? 5 : 4);
        for (int i = 0; i < count; ++i) {
            if (FaultHere()) {
                WriteFault();
                continue;
            }
            if (m_random.Percent(25))
                ValueEntry();
            else
                KeyEntry(level);
        }
    }

    void KeyEntry(int level)
    {
        const int modifier = m_random.Below(10);
        if (modifier == 0)
            Raw(m_random.Percent(50) ? u"ForceRemove" : u"forceremove");
        else if (modifier == 1)
            Raw(m_random.Percent(50) ? u"NoRemove" : u"NOREMOVE");
        else if (modifier == 2)
            Raw(u"Delete");
        // Now and then a name that expands to a path, which no key name may be.
        Word(m_random.Percent(2) ? u"%MODULE%" : m_random.Pick(kKeyNames));
        if (m_random.Percent(40))
            ValueClause();
        if (level < 5 && m_random.Percent(45)) {
            OpenBlock();
            Entries(level + 1);
            CloseBlock();
        }
    }

    void ValueEntry()
    {
        if (m_random.Percent(15))
            Raw(u"NoRemove");
        Raw(m_random.Percent(70) ? u"Val" : u"val");
        Word(m_random.Pick(kValueNames));
        ValueClause();
    }

    void ValueClause()
    {
        Raw(u"=");
        const int kind = m_random.Below(4);
        static const char16_t* const kLetters[] = {u"s", u"d", u"b", u"m"};
        static const char16_t* const kCapitals[] = {u"S", u"D", u"B", u"M"};
        Raw(m_random.Percent(70) ? kLetters[kind] : kCapitals[kind]);
        switch (kind) {
        case 0: Word(m_random.Pick(kStrings)); break;
        case 1: Word(m_random.Percent(85) ? m_random.Pick(kNumbers) : m_random.Pick(kNotNumbers)); break;
        case 2: Word(m_random.Pick(kHex)); break;
        default: Word(m_random.Pick(kLists)); break;
        }
    }

    void WriteFault()
    {
        switch (m_fault) {
        case Fault::UnterminatedQuote: Raw(u"'never closed"); break;
        case Fault::MissingEquals:
            Raw(u"Val");
            Word(m_random.Pick(kValueNames));
            Raw(u"s");
            Word(u"x");
            break;
        case Fault::Backslash: Raw(u"Outer\\Inner"); break;
        case Fault::BadType:
            Word(m_random.Pick(kKeyNames));
            Raw(u"=");
            Raw(m_random.Percent(50) ? u"q" : u"ss");
            Word(u"x");
            break;
        case Fault::StrayBrace: Raw(u"}"); break;
        case Fault::Deep:
            for (int i = 0; i < 34; ++i) {
                Raw(u"Deep");
                OpenBlock();
            }
            for (int i = 0; i < 34; ++i)
                CloseBlock();
            break;
        case Fault::UndefinedVariable: Word(u"%Nobody%"); break;
        case Fault::LonePercent: Word(u"50%"); break;
        case Fault::LongToken: Raw(Text(4095, u'k')); break;
        case Fault::None:
        case Fault::MissingBrace: break;
        }
    }

    Random m_random;
    Text m_out;
    Fault m_fault = Fault::None;
    int m_faultAt = 0;
    int m_entry = 0;
    bool m_faultDue = false;
};

}  // namespace

GeneratedScript GenerateScript(uint32_t seed) { return ScriptWriter(seed).Write(); }

}  // namespace differential
