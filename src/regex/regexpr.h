// The regular-expression engine of ORMIX: TRegExpr compiles an expression into
// a byte program and searches single-byte text (code page 1251) with it.
// Used by the file search and ormix-cli regex. Tests: tests/regex/.
//
// One object is for one thread at a time: matching writes the input copy and
// the match positions into the object. Separate objects share no mutable
// state; the global defaults below are only read, when an object is created.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ormix {

namespace rx {
struct Program;
struct Tables;
struct Pairs;
class Matcher;
} // namespace rx

// The error the engine raises: ErrorMsg(code), for codes below 1000 followed
// by " (pos N)".
class ERegExpr : public std::runtime_error {
public:
    ERegExpr(const std::string& message, int code, int position)
        : std::runtime_error(message), ErrorCode(code), CompilerErrorPos(position) {}

    int ErrorCode;
    int CompilerErrorPos; // 0 outside compilation
};

using TRegExprInvertCaseFunction = unsigned char (*)(unsigned char);

// Defaults every new object takes.
extern bool RegExprModifierI;
extern bool RegExprModifierR;
extern bool RegExprModifierS;
extern bool RegExprModifierG;
extern bool RegExprModifierM;
extern std::string RegExprSpaceChars;
extern std::string RegExprWordChars;
extern std::string RegExprLineSeparators;
extern std::string RegExprLinePairedSeparator;
extern TRegExprInvertCaseFunction RegExprInvertCaseFunction;

class TRegExpr {
public:
    TRegExpr();
    virtual ~TRegExpr();
    TRegExpr(const TRegExpr&) = delete;
    TRegExpr& operator=(const TRegExpr&) = delete;

    void SetExpression(std::string_view expression);
    std::string GetExpression() const;
    void Compile();

    bool Exec(std::string_view input);
    bool ExecPos(int offset = 1);
    bool ExecNext();
    void SetInputString(std::string_view input);
    const std::string& GetInputString();

    int GetMatchPos(int i) const;
    int GetMatchLen(int i) const;
    std::string GetMatch(int i) const;
    int GetSubExprMatchCount() const;

    std::string Substitute(std::string_view tmpl);
    void Split(std::string_view input, std::vector<std::string>& pieces);
    std::string Replace(std::string_view input, std::string_view replacement, bool useSubstitution = false);

    // k: 1 i, 2 r, 3 s, 4 g, 5 m, 6 x.
    void SetModifier(int k, bool on);
    bool GetModifier(int k);
    void SetModifierStr(std::string_view mods);
    std::string GetModifierStr() const;

    void SetLineSeparators(std::string_view separators);
    std::string GetLineSeparators() const { return lineSeparators_; }
    void SetLinePairedSeparator(std::string_view pair);
    std::string GetLinePairedSeparator() const;
    void SetSpaceChars(std::string_view chars);
    std::string GetSpaceChars() const { return spaceChars_; }
    void SetWordChars(std::string_view chars);
    std::string GetWordChars() const { return wordChars_; }
    void SetInvertCase(TRegExprInvertCaseFunction fn);

    // Work bound of one search in matcher steps (0, the default, is none):
    // beyond it the search raises 1017. For callers that run untrusted
    // expressions under a time budget.
    void SetMatchStepLimit(std::int64_t steps);
    // A flag the matcher polls every few thousand steps while a search runs;
    // once it is set the search raises 1019. Null (the default) is none; the
    // flag must outlive its use.
    void SetCancelFlag(const std::atomic<bool>* flag);

    virtual std::string ErrorMsg(int code) const;
    int LastError();
    int GetCompilerErrorPos() const;
    std::string Dump();

    static constexpr int VersionMajor() { return 0; }
    static constexpr int VersionMinor() { return 947; }
    static unsigned char InvertCaseFunction(unsigned char c);

    // Records the code as the last error and raises ERegExpr. An override
    // may add to this; if it returns, the engine raises ERegExpr anyway.
    virtual void Error(int code);

private:
    // compilePos >= 0: a compilation error at that position.
    [[noreturn]] void raise(int code, int compilePos = -1);
    void rebuildTables();
    void dropProgram();
    void compileNow();
    // Compiled for the current modifiers and intact: what prepareProgram
    // makes sure of before a search.
    bool programReady() const;
    void prepareProgram();
    bool execPrim(int offset);
    // What SetInputString does. searchFollows: a search reads the copy next,
    // which decides whether the zero byte is looked for in the copy or in the
    // caller's text.
    void takeInput(std::string_view input, bool searchFollows);

    std::string expression_;
    bool hasExpression_ = false;
    std::unique_ptr<rx::Program> program_;
    bool compiled_ = false;
    int modifiers_ = 0;
    int programModifiers_ = 0;

    std::string spaceChars_;
    std::string wordChars_;
    std::string lineSeparators_;
    bool pairedAssigned_ = false;
    char pairedHead_ = 0;
    char pairedTail_ = 0;
    TRegExprInvertCaseFunction invertCase_ = nullptr;
    std::unique_ptr<rx::Tables> tables_;

    std::string input_;
    bool hasInput_ = false;
    std::unique_ptr<rx::Pairs> pairs_;
    std::unique_ptr<rx::Matcher> matcher_;

    int lastError_ = 0;
    bool compiling_ = false;
    int compilerErrorPos_ = 0;
};

// Free operations, each with a temporary object of default settings.
bool ExecRegExpr(std::string_view expression, std::string_view input);
void SplitRegExpr(std::string_view expression, std::string_view input, std::vector<std::string>& pieces);
std::string ReplaceRegExpr(std::string_view expression, std::string_view input, std::string_view replacement,
                           bool useSubstitution = false);
std::string QuoteRegExprMetaChars(std::string_view text);

// One parenthesised part of an expression: its text without the parentheses,
// and start + length * 65536 (start: 1-based position of "(", length counting
// both parentheses).
struct RegExprSubExpr {
    std::string text;
    std::int64_t number;
};

// Lists the groups of an expression in the order of their "(", with the whole
// expression in front unless the first group already spans it. Returns 0 when
// it is well formed, -1 for a group left open (or "(?" without ")"), the
// 1-based position of a ")" that closes nothing, or -(position + 1) for a "["
// without "]". extended starts as the x modifier; "(?x)" and "(?-x)" in the
// expression switch it.
int RegExprSubExpressions(std::string_view expression, std::vector<RegExprSubExpr>& list,
                          bool extended = false);

} // namespace ormix
