// ormix-cli regex against its contract: output lines, exit statuses, modes,
// UTF-8 on the outside and code page 1251 inside.
#include <gtest/gtest.h>

#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Result {
    int status;
    std::string out;
};

// Runs ormix-cli with these arguments (no shell), capturing its standard output.
Result cli(std::vector<std::string> args) {
    const char* dir = std::getenv("ORMIX_BIN_DIR");
    const std::string exe = std::string(dir ? dir : ".") + "/ormix-cli";
    args.insert(args.begin(), {exe, "regex"});
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0)
        return {-1, {}};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", 1 /* O_WRONLY */, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    Result r{-1, {}};
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        r.out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    if (rc != 0)
        return r;
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;
};

} // namespace

TEST(RegexCli, FollowsItsContract) {
    const Case cases[] = {
        {{"a", "xa", "b"}, 0, "match 2 1\nnomatch\n"},
        {{"(a)(b)?(c)", "xac"}, 0, "match 2 2 1:2,1 3:3,1\n"},
        {{"a)", "x"}, 3, "error 104 TRegExpr(comp): ParseReg Unmatched () (pos 1)\n"},
        {{"(a", "x"}, 3, "error 103 TRegExpr(comp): ParseReg Unmatched () (pos 2)\n"},
        {{"", "x"}, 3, "error 1003 TRegExpr(exec): Not Assigned Expression Property\n"},
        // Modifiers go to SetModifierStr before compiling.
        {{"-m", "i", "ABC", "xabc"}, 0, "match 2 3\n"},
        {{"-m", "-s", "--text-escapes", "a.", "a\\n", "a\\t"}, 0, "nomatch\nmatch 1 2\n"},
        {{"-m", "m-g", "^b+", "a\nbbb"}, 0, "match 3 1\n"},
        {{"-m", "q", "a", "a"}, 3, "error 1013 Unknown error\n"},
        // UTF-8 outside, code page 1251 inside: positions count characters.
        {{"ё+", "xЁёё"}, 0, "match 3 2\n"},
        {{"-m", "i", "ё+", "xЁёё"}, 0, "match 2 3\n"},
        {{"[а-я]+", "Иван иванов"}, 0, "match 2 3\n"},
        {{"\\?", "日"}, 0, "match 1 1\n"}, // a character 1251 cannot hold arrives as "?"
        // Escapes are decoded in the texts only, \xHH as a 1251 byte.
        {{"--text-escapes", "A\\\\\\t", "\\x41\\\\\\t"}, 0, "match 1 3\n"},
        {{"--text-escapes", "\\xb8", "\\xb8"}, 0, "match 1 1\n"},
        {{"--text-escapes", "ab", "a\\qb\\x4", "\\x61b"}, 0, "nomatch\nmatch 1 2\n"},
        {{"--", "-a", "x-a"}, 0, "match 2 2\n"},
        // Split, replace, dump.
        {{"--split", "<>", "a<>b<>"}, 0, "[a]\n[b]\n[]\n"},
        {{"--split", ",", "один,два"}, 0, "[один]\n[два]\n"},
        {{"--replace", "[$1]", "(a)", "xax"}, 0, "x[$1]x\n"},
        {{"--replace", "[$1]", "--subst", "(a)", "xax"}, 0, "x[a]x\n"},
        {{"--dump", "ab"},
         0,
         " 1:BRANCH (14) \r\n 6:EXACTLY (14) ab\r\n14:END (0)\r\nstart a\r\nFirstCharSet:a\r\n"},
        // An error raised while matching ends the run after the lines before it.
        {{"(((((((((((a){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}){1,2}", "b", "a"},
         3,
         "nomatch\nerror 1014 TRegExpr(exec): Loop Stack Exceeded\n"},
        // A text that takes too long costs only itself: its error line, then the next text.
        {{"(a|aa)*b", std::string(60, 'a') + "cb", "aab"},
         3,
         "error 1017 TRegExpr(exec): Match Step Limit Exceeded\nmatch 1 3 1:2,1\n"},
        {{"--step-limit", "100", "(a|aa)*b", "aaaaaaaaaaaaaaacb", "b"},
         3,
         "error 1017 TRegExpr(exec): Match Step Limit Exceeded\nmatch 1 1\n"},
        {{"--step-limit", "0", "(a|aa)*b", "aaaaaaaaaaaaaaacb"}, 0, "match 17 1\n"},
        // Bad arguments.
        {{}, 2, ""},
        {{"a"}, 2, ""},
        {{"--split", "a"}, 2, ""},
        {{"--split", "a", "b", "c"}, 2, ""},
        {{"--subst", "a", "b"}, 2, ""},
        {{"--dump"}, 2, ""},
        {{"--dump", "--split", "a", "b"}, 2, ""},
        {{"-z", "a", "b"}, 2, ""},
        {{"-m"}, 2, ""},
        {{"--step-limit", "x", "a", "a"}, 2, ""},
        {{"--step-limit", "-1", "a", "a"}, 2, ""},
    };
    for (const auto& c : cases) {
        const Result r = cli(c.args);
        std::string shown;
        for (const auto& a : c.args)
            shown += " '" + a + "'";
        EXPECT_EQ(r.status, c.status) << shown;
        EXPECT_EQ(r.out, c.out) << shown;
    }
}
