// TRegExpr's settings, operations and errors, and the free operations built on
// it. Compilation is compile.cpp, matching match.cpp, the listing dump.cpp.
// Covered by tests/regex/operations_test.cpp and match_test.cpp.
#include "regex/regexpr.h"

#include "regex/engine.h"

#include <array>
#include <climits>
#include <cstring>

namespace ormix {

bool RegExprModifierI = false;
bool RegExprModifierR = true;
bool RegExprModifierS = true;
bool RegExprModifierG = true;
bool RegExprModifierM = false;
std::string RegExprSpaceChars = " \t\n\r\f";
std::string RegExprWordChars = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
std::string RegExprLineSeparators = "\r\n";
std::string RegExprLinePairedSeparator = "\r\n";
TRegExprInvertCaseFunction RegExprInvertCaseFunction = &TRegExpr::InvertCaseFunction;

namespace {

// Letter pairs of code page 1251 beyond A-Z and А-Я: {upper, lower}.
constexpr unsigned char kCyrillicPairs[][2] = {
    {0xA8, 0xB8}, // Ё ё
    {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D}, {0x8E, 0x9E}, {0x8F, 0x9F},
    {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
};

struct CaseTables {
    std::array<unsigned char, 256> upper{};
    std::array<unsigned char, 256> lower{};

    constexpr CaseTables() {
        for (int c = 0; c < 256; ++c)
            upper[c] = lower[c] = static_cast<unsigned char>(c);
        for (int c = 'a'; c <= 'z'; ++c) {
            upper[c] = static_cast<unsigned char>(c - 32);
            lower[c - 32] = static_cast<unsigned char>(c);
        }
        for (int c = 0xE0; c <= 0xFF; ++c) {
            upper[c] = static_cast<unsigned char>(c - 32);
            lower[c - 32] = static_cast<unsigned char>(c);
        }
        for (const auto& pair : kCyrillicPairs) {
            upper[pair[1]] = pair[0];
            lower[pair[0]] = pair[1];
        }
    }
};

constexpr CaseTables kCase;

// The text up to its first zero byte.
inline std::string_view untilZero(std::string_view s) {
    const void* z = s.empty() ? nullptr : std::memchr(s.data(), 0, s.size());
    return z ? s.substr(0, static_cast<std::size_t>(static_cast<const char*>(z) - s.data())) : s;
}

// Modifier letters of the inline form without parentheses; false at the first
// other character (letters before it are already applied to mods).
bool applyModifierText(std::string_view text, int& mods, std::size_t* badAt = nullptr) {
    bool on = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '-') {
            on = false;
            continue;
        }
        int bit = 0;
        switch (c) {
        case 'i':
        case 'I':
            bit = rx::MOD_I;
            break;
        case 'r':
        case 'R':
            bit = rx::MOD_R;
            break;
        case 's':
        case 'S':
            bit = rx::MOD_S;
            break;
        case 'g':
        case 'G':
            bit = rx::MOD_G;
            break;
        case 'm':
        case 'M':
            bit = rx::MOD_M;
            break;
        case 'x':
        case 'X':
            bit = rx::MOD_X;
            break;
        default:
            if (badAt)
                *badAt = i;
            return false;
        }
        mods = on ? (mods | bit) : (mods & ~bit);
    }
    return true;
}

constexpr int kMaxTextLength = INT_MAX / 8;

} // namespace

unsigned char TRegExpr::InvertCaseFunction(unsigned char c) {
    const unsigned char u = kCase.upper[c];
    return u != c ? u : kCase.lower[c];
}

TRegExpr::TRegExpr()
    : modifiers_((RegExprModifierI ? rx::MOD_I : 0) | (RegExprModifierR ? rx::MOD_R : 0) |
                 (RegExprModifierS ? rx::MOD_S : 0) | (RegExprModifierG ? rx::MOD_G : 0) |
                 (RegExprModifierM ? rx::MOD_M : 0)),
      spaceChars_(untilZero(RegExprSpaceChars)), wordChars_(untilZero(RegExprWordChars)),
      lineSeparators_(untilZero(RegExprLineSeparators)), invertCase_(RegExprInvertCaseFunction),
      tables_(std::make_unique<rx::Tables>()), pairs_(std::make_unique<rx::Pairs>()),
      matcher_(std::make_unique<rx::Matcher>()) {
    const std::string_view pair = untilZero(RegExprLinePairedSeparator);
    if (pair.size() == 2 && pair[0] != pair[1]) {
        pairedAssigned_ = true;
        pairedHead_ = pair[0];
        pairedTail_ = pair[1];
    }
    programModifiers_ = modifiers_;
    pairs_->unset();
    rebuildTables();
}

TRegExpr::~TRegExpr() = default;

// --- errors ----------------------------------------------------------------

std::string TRegExpr::ErrorMsg(int code) const {
    switch (code) {
    case 0:
        return "No errors";
    case 100:
        return "TRegExpr(comp): Null Argument";
    case 101:
        return "TRegExpr(comp): Regexp Too Big";
    case 102:
        return "TRegExpr(comp): ParseReg Too Many ()";
    case 103:
        return "TRegExpr(comp): ParseReg Unmatched ()";
    case 104:
        return "TRegExpr(comp): ParseReg Unmatched ()";
    case 105:
        return "TRegExpr(comp): ParseReg Junk On End";
    case 106:
        return "TRegExpr(comp): *+ Operand Could Be Empty";
    case 107:
        return "TRegExpr(comp): Nested *?+";
    case 108:
        return "TRegExpr(comp): Bad Hex Digit";
    case 109:
        return "TRegExpr(comp): Invalid [] Range";
    case 110:
        return "TRegExpr(comp): Parse Atom Trailing \\";
    case 111:
        return "TRegExpr(comp): No Hex Code After \\x";
    case 112:
        return "TRegExpr(comp): Hex Code After \\x Is Too Big";
    case 113:
        return "TRegExpr(comp): Unmatched []";
    case 114:
        return "TRegExpr(comp): Internal Urp";
    case 115:
        return "TRegExpr(comp): ?+*{ Follows Nothing";
    case 116:
        return "TRegExpr(comp): Trailing \\";
    case 119:
        return "TRegExpr(comp): RarseAtom Internal Disaster";
    case 122:
        return "TRegExpr(comp): BRACES Argument Too Big";
    case 124:
        return "TRegExpr(comp): BRACE Min Param Greater then Max";
    case 125:
        return "TRegExpr(comp): Unclosed (?#Comment)";
    case 126:
        return "TRegExpr(comp): If you want take part in beta-testing BRACES '{min,max}' and non-greedy ops "
               "'*?', '+?', '?\?' for complex cases - remove '.' from {.$DEFINE ComplexBraces}";
    case 127:
        return "TRegExpr(comp): Urecognized Modifier";
    case 128:
        return "TRegExpr(comp): LinePairedSeparator must countain two different chars or no chars at all";
    case 1000:
        return "TRegExpr(exec): RegRepeat Called Inappropriately";
    case 1001:
        return "TRegExpr(exec): MatchPrim Memory Corruption";
    case 1002:
        return "TRegExpr(exec): MatchPrim Corrupted Pointers";
    case 1003:
        return "TRegExpr(exec): Not Assigned Expression Property";
    case 1004:
        return "TRegExpr(exec): Corrupted Program";
    case 1005:
        return "TRegExpr(exec): No Inpit String Specified";
    case 1006:
        return "TRegExpr(exec): Offset Must Be Greater Then 0";
    case 1007:
        return "TRegExpr(exec): ExecNext Without Exec[Pos]";
    case 1008:
        return "TRegExpr(exec): GetInputString Without InputString";
    case 1011:
        return "TRegExpr(dump): Corrupted Opcode";
    case 1014:
        return "TRegExpr(exec): Loop Stack Exceeded";
    case 1015:
        return "TRegExpr(exec): Loop Without LoopEntry !";
    // Bounds of this implementation (a long input or a runaway expression
    // ends in an error rather than exhausting memory or time).
    case 1016:
        return "TRegExpr(exec): Backtrack Stack Exceeded";
    case 1017:
        return "TRegExpr(exec): Match Step Limit Exceeded";
    case 1018:
        return "TRegExpr(exec): Input String Too Long";
    case 1019:
        return "TRegExpr(exec): Match Stopped";
    default:
        return "Unknown error";
    }
}

void TRegExpr::Error(int code) {
    lastError_ = code;
    std::string message = ErrorMsg(code);
    const int pos = code < 1000 ? GetCompilerErrorPos() : 0;
    if (code < 1000)
        message += " (pos " + std::to_string(pos) + ")";
    throw ERegExpr(message, code, pos);
}

void TRegExpr::raise(int code, int compilePos) {
    struct Reset {
        TRegExpr& r;
        ~Reset() {
            r.compiling_ = false;
            r.compilerErrorPos_ = 0;
        }
    } reset{*this};
    compiling_ = compilePos >= 0 && code < 1000;
    compilerErrorPos_ = compiling_ ? compilePos : 0;
    lastError_ = code;
    Error(code);
    std::string message = ErrorMsg(code);
    if (code < 1000)
        message += " (pos " + std::to_string(compilerErrorPos_) + ")";
    throw ERegExpr(message, code, compilerErrorPos_);
}

int TRegExpr::LastError() {
    const int code = lastError_;
    lastError_ = 0;
    return code;
}

int TRegExpr::GetCompilerErrorPos() const {
    return compiling_ ? compilerErrorPos_ : 0;
}

// --- expression and program --------------------------------------------------

void TRegExpr::SetExpression(std::string_view expression) {
    expression = untilZero(expression);
    if (expression != expression_ || !compiled_) {
        dropProgram();
        expression_.assign(expression);
        hasExpression_ = !expression_.empty();
    }
}

std::string TRegExpr::GetExpression() const {
    return expression_;
}

void TRegExpr::dropProgram() {
    program_.reset();
    compiled_ = false;
}

void TRegExpr::compileNow() {
    dropProgram();
    programModifiers_ = modifiers_;
    if (!hasExpression_)
        raise(1003);
    if (expression_.size() > static_cast<std::size_t>(kMaxTextLength))
        raise(101, 0);
    try {
        program_ = std::make_unique<rx::Program>(rx::compileProgram(expression_, modifiers_, *tables_));
    } catch (const rx::Fault& f) {
        program_.reset();
        raise(f.code, f.pos);
    }
    compiled_ = true;
}

void TRegExpr::Compile() {
    compileNow();
}

bool TRegExpr::programReady() const {
    return program_ && programModifiers_ == modifiers_ && !program_->code.empty() &&
           program_->code[0] == rx::kSignature;
}

void TRegExpr::prepareProgram() {
    if (program_ && programModifiers_ != modifiers_)
        dropProgram();
    if (!program_)
        compileNow();
    if (program_->code.empty() || program_->code[0] != rx::kSignature)
        raise(1004);
}

std::string TRegExpr::Dump() {
    prepareProgram();
    try {
        return rx::dumpProgram(*program_);
    } catch (const rx::Fault& f) {
        raise(f.code);
    }
}

// --- settings ------------------------------------------------------------------

void TRegExpr::rebuildTables() {
    rx::Tables& t = *tables_;
    for (int c = 0; c < 256; ++c) {
        unsigned char r =
            invertCase_ ? invertCase_(static_cast<unsigned char>(c)) : static_cast<unsigned char>(c);
        if (r == 0) // a zero byte ends every text, so it is nobody's other case
            r = static_cast<unsigned char>(c);
        t.invert[c] = r;
    }
    t.word = {};
    t.word.addText(wordChars_);
    t.space = {};
    t.space.addText(spaceChars_);
    t.separators = {};
    t.separators.addText(lineSeparators_);
    t.paired = pairedAssigned_;
    t.head = static_cast<unsigned char>(pairedHead_);
    t.tail = static_cast<unsigned char>(pairedTail_);
}

void TRegExpr::SetModifier(int k, bool on) {
    if (k < 1 || k > 6)
        raise(1013);
    const int bit = 1 << (k - 1);
    modifiers_ = on ? (modifiers_ | bit) : (modifiers_ & ~bit);
}

bool TRegExpr::GetModifier(int k) {
    if (k < 1 || k > 6)
        raise(1013);
    return modifiers_ & (1 << (k - 1));
}

void TRegExpr::SetModifierStr(std::string_view mods) {
    if (!applyModifierText(untilZero(mods), modifiers_))
        raise(1013);
}

std::string TRegExpr::GetModifierStr() const {
    static constexpr struct {
        char letter;
        int bit;
    } kOrder[] = {{'i', rx::MOD_I}, {'r', rx::MOD_R}, {'s', rx::MOD_S},
                  {'g', rx::MOD_G}, {'m', rx::MOD_M}, {'x', rx::MOD_X}};
    std::string s = "-";
    for (const auto& m : kOrder) {
        if (modifiers_ & m.bit)
            s.insert(s.begin(), m.letter);
        else
            s += m.letter;
    }
    if (s.back() == '-')
        s.pop_back();
    return s;
}

void TRegExpr::SetLineSeparators(std::string_view separators) {
    separators = untilZero(separators);
    if (separators == lineSeparators_)
        return;
    lineSeparators_.assign(separators);
    rebuildTables();
    dropProgram();
}

void TRegExpr::SetLinePairedSeparator(std::string_view pair) {
    pair = untilZero(pair);
    if (pair.size() == 2 && pair[0] != pair[1]) {
        if (pairedAssigned_ && pairedHead_ == pair[0] && pairedTail_ == pair[1])
            return;
        pairedAssigned_ = true;
        pairedHead_ = pair[0];
        pairedTail_ = pair[1];
    } else if (pair.empty()) {
        if (!pairedAssigned_)
            return;
        pairedAssigned_ = false;
        pairedHead_ = pairedTail_ = 0;
    } else {
        raise(128);
    }
    rebuildTables();
    dropProgram();
}

std::string TRegExpr::GetLinePairedSeparator() const {
    if (!pairedAssigned_)
        return {};
    return std::string{pairedHead_, pairedTail_};
}

void TRegExpr::SetSpaceChars(std::string_view chars) {
    spaceChars_.assign(untilZero(chars));
    rebuildTables();
    dropProgram();
}

void TRegExpr::SetWordChars(std::string_view chars) {
    wordChars_.assign(untilZero(chars));
    rebuildTables();
    dropProgram();
}

void TRegExpr::SetInvertCase(TRegExprInvertCaseFunction fn) {
    invertCase_ = fn;
    rebuildTables();
    dropProgram();
}

void TRegExpr::SetMatchStepLimit(std::int64_t steps) {
    matcher_->setStepLimit(steps);
}

void TRegExpr::SetCancelFlag(const std::atomic<bool>* flag) {
    matcher_->setCancelFlag(flag);
}

// --- matching --------------------------------------------------------------------

void TRegExpr::SetInputString(std::string_view input) {
    takeInput(input, true);
}

void TRegExpr::takeInput(std::string_view input, bool searchFollows) {
    if (input.size() > static_cast<std::size_t>(kMaxTextLength))
        raise(1018);
    // The copy keeps its capacity, so names one after another reuse it. A
    // scan of bytes the copy has just written waits for those stores. Before
    // a search, which reads the copy next anyway, that wait is paid once by
    // looking for the zero byte in the copy (measured faster for expressions
    // that read the whole name than scanning the caller's text first). Where
    // nothing reads the copy, the caller's text is scanned and only the part
    // before its zero byte is copied.
    if (searchFollows) {
        input_.clear();
        input_.append(input.data(), input.size());
        const std::size_t n = std::strlen(input_.c_str());
        if (n != input_.size())
            input_.resize(n);
    } else {
        input_.assign(untilZero(input));
    }
    hasInput_ = true;
    if (!pairs_->clean)
        pairs_->unset();
}

const std::string& TRegExpr::GetInputString() {
    if (!hasInput_)
        raise(1008);
    return input_;
}

bool TRegExpr::execPrim(int offset) {
    prepareProgram();
    if (!hasInput_)
        raise(1005);
    if (offset < 1)
        raise(1006);
    const auto len = static_cast<std::int32_t>(input_.size());
    if (offset > len + 1)
        return false;
    try {
        return matcher_->search(*program_, *tables_, reinterpret_cast<const unsigned char*>(input_.c_str()),
                                len, offset - 1, *pairs_);
    } catch (const rx::Fault& f) {
        raise(f.code);
    }
}

bool TRegExpr::Exec(std::string_view input) {
    // Most names a search refuses fail at their first character, and the
    // program can tell that from the caller's text before it is copied. The
    // copy is still made (the input and the positions are read from it), but
    // the search and its set-up are skipped: a search that tries nothing
    // leaves the pairs as a new input does, all unset.
    const bool refused =
        program_ && program_->shortcuts.firstCharRefuses && programReady() &&
        program_->refusesAtFirstChar(reinterpret_cast<const unsigned char*>(input.data()), input.size());
    takeInput(input, !refused);
    return !refused && execPrim(1);
}

bool TRegExpr::ExecPos(int offset) {
    return execPrim(offset);
}

bool TRegExpr::ExecNext() {
    if (!hasInput_ || !pairs_->isSet(0))
        raise(1007);
    int offset = pairs_->end[0] + 1;
    if (pairs_->end[0] == pairs_->start[0])
        ++offset;
    return execPrim(offset);
}

int TRegExpr::GetMatchPos(int i) const {
    if (i < 0 || i >= rx::kMaxGroups || !hasInput_ || !pairs_->isSet(i))
        return -1;
    return pairs_->start[i] + 1;
}

int TRegExpr::GetMatchLen(int i) const {
    if (i < 0 || i >= rx::kMaxGroups || !hasInput_ || !pairs_->isSet(i))
        return -1;
    return pairs_->end[i] - pairs_->start[i];
}

std::string TRegExpr::GetMatch(int i) const {
    if (i < 0 || i >= rx::kMaxGroups || !hasInput_ || !pairs_->isSet(i) || pairs_->end[i] < pairs_->start[i])
        return {};
    return input_.substr(static_cast<std::size_t>(pairs_->start[i]),
                         static_cast<std::size_t>(pairs_->end[i] - pairs_->start[i]));
}

int TRegExpr::GetSubExprMatchCount() const {
    if (!hasInput_)
        return -1;
    for (int i = rx::kMaxGroups - 1; i >= 1; --i)
        if (pairs_->isSet(i))
            return i;
    return 0;
}

std::string TRegExpr::Substitute(std::string_view tmpl) {
    if (!hasInput_)
        raise(1005);
    tmpl = untilZero(tmpl);
    std::string out;
    const std::size_t n = tmpl.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = tmpl[i];
        if (c == '\\' && i + 1 < n) {
            out += tmpl[i + 1];
            i += 2;
            continue;
        }
        if (c == '$' && i + 1 < n) {
            std::size_t j = i + 1;
            const bool braced = tmpl[j] == '{';
            if (braced)
                ++j;
            int group = -1;
            if (j < n && tmpl[j] == '&') {
                group = 0;
                ++j;
            } else if (j < n && tmpl[j] >= '0' && tmpl[j] <= '9') {
                group = 0;
                while (j < n && tmpl[j] >= '0' && tmpl[j] <= '9') {
                    group = std::min(group * 10 + (tmpl[j] - '0'), 1000); // anything above 14 is no pair
                    ++j;
                }
            }
            if (group >= 0 && braced) {
                if (j < n && tmpl[j] == '}')
                    ++j;
                else
                    group = -1;
            }
            if (group >= 0) {
                out += GetMatch(group);
                i = j;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

void TRegExpr::Split(std::string_view input, std::vector<std::string>& pieces) {
    std::size_t prev = 0;
    if (Exec(input)) {
        do {
            const auto start = static_cast<std::size_t>(pairs_->start[0]);
            pieces.push_back(input_.substr(prev, start - prev));
            prev = static_cast<std::size_t>(pairs_->end[0]);
        } while (ExecNext());
    }
    pieces.push_back(input_.substr(prev));
}

std::string TRegExpr::Replace(std::string_view input, std::string_view replacement, bool useSubstitution) {
    std::string out;
    std::size_t prev = 0;
    const std::string_view plain = untilZero(replacement);
    if (Exec(input)) {
        do {
            const auto start = static_cast<std::size_t>(pairs_->start[0]);
            out.append(input_, prev, start - prev);
            if (useSubstitution)
                out += Substitute(replacement);
            else
                out += plain;
            prev = static_cast<std::size_t>(pairs_->end[0]);
        } while (ExecNext());
    }
    out.append(input_, prev, std::string::npos);
    return out;
}

// --- free operations -------------------------------------------------------------

bool ExecRegExpr(std::string_view expression, std::string_view input) {
    TRegExpr r;
    r.SetExpression(expression);
    return r.Exec(input);
}

void SplitRegExpr(std::string_view expression, std::string_view input, std::vector<std::string>& pieces) {
    pieces.clear();
    TRegExpr r;
    r.SetExpression(expression);
    r.Split(input, pieces);
}

std::string ReplaceRegExpr(std::string_view expression, std::string_view input, std::string_view replacement,
                           bool useSubstitution) {
    TRegExpr r;
    r.SetExpression(expression);
    return r.Replace(input, replacement, useSubstitution);
}

std::string QuoteRegExprMetaChars(std::string_view text) {
    static constexpr std::string_view kMeta = "^$.[()|?+*\\{]}";
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : untilZero(text)) {
        if (kMeta.find(c) != std::string_view::npos)
            out += '\\';
        out += c;
    }
    return out;
}

int RegExprSubExpressions(std::string_view expression, std::vector<RegExprSubExpr>& list, bool extended) {
    const std::string_view e = untilZero(expression);
    const auto len = static_cast<std::int64_t>(e.size());
    list.clear();
    int result = 0;
    struct OpenGroup {
        std::size_t index;
        std::int64_t start; // 1-based position of "("
    };
    std::vector<OpenGroup> open;
    for (std::int64_t i = 0; i < len; ++i) {
        switch (e[static_cast<std::size_t>(i)]) {
        case '(': {
            if (i + 1 < len && e[static_cast<std::size_t>(i + 1)] == '?') {
                std::int64_t j = i + 2;
                while (j < len && e[static_cast<std::size_t>(j)] != ')')
                    ++j;
                if (j >= len) {
                    result = -1;
                    i = len;
                    break;
                }
                int mods = extended ? rx::MOD_X : 0;
                if (applyModifierText(
                        e.substr(static_cast<std::size_t>(i + 2), static_cast<std::size_t>(j - i - 2)), mods))
                    extended = mods & rx::MOD_X;
                i = j;
                break;
            }
            list.push_back({std::string(), 0});
            open.push_back({list.size() - 1, i + 1});
            break;
        }
        case ')': {
            if (open.empty()) {
                result = static_cast<int>(std::min<std::int64_t>(i + 1, INT_MAX));
                break;
            }
            const OpenGroup g = open.back();
            open.pop_back();
            const std::int64_t length = i + 1 - g.start + 1;
            list[g.index].text.assign(
                e.substr(static_cast<std::size_t>(g.start), static_cast<std::size_t>(length - 2)));
            list[g.index].number = g.start + length * 65536;
            break;
        }
        case '\\':
            ++i;
            break;
        case '[': {
            const std::int64_t at = i;
            std::int64_t j = i + 1;
            if (j < len && e[static_cast<std::size_t>(j)] == ']')
                ++j;
            while (j < len && e[static_cast<std::size_t>(j)] != ']')
                j += e[static_cast<std::size_t>(j)] == '\\' ? 2 : 1;
            if (j >= len) {
                result = static_cast<int>(-std::min<std::int64_t>(at + 2, INT_MAX));
                i = len;
                break;
            }
            i = j;
            break;
        }
        case '#':
            if (extended) {
                while (i < len && e[static_cast<std::size_t>(i)] != '\r' &&
                       e[static_cast<std::size_t>(i)] != '\n')
                    ++i;
                while (i + 1 < len && (e[static_cast<std::size_t>(i + 1)] == '\r' ||
                                       e[static_cast<std::size_t>(i + 1)] == '\n'))
                    ++i;
            }
            break;
        default:
            break;
        }
    }
    if (!open.empty())
        result = -1;
    const std::int64_t whole = 1 + len * 65536;
    if (list.empty() || list[0].number != whole)
        list.insert(list.begin(), RegExprSubExpr{std::string(e), whole});
    return result;
}

} // namespace ormix
