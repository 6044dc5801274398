// The native programs killed (SIGKILL, by strace's fault injection on one system call) at many
// points of an installation and of a removal. Whatever the point, every host file is as it was
// or as the package has it, and the next removal, or the next installation and then removals,
// leave the host exactly as it was before; a file the user changed is never lost.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "native_program_fixture.h"

namespace kolvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHost = "prefix/drive_c/Halmdor";
constexpr const char* kFolder = "<folder>";
constexpr const char* kUserFile = "Modelle/Neu/Lok3.mdl";
constexpr const char* kUsersBytes = "the user's own locomotive\r\n";
// The system calls that change the disk or lead up to a change.
constexpr const char* kSyscalls[] = {
    "openat",          "write",     "pwrite64", "rename",    "renameat2", "link",      "linkat",
    "unlink",          "unlinkat",  "mkdir",    "mkdirat",   "rmdir",     "ftruncate", "fchmod",
    "copy_file_range", "utimensat", "fsync",    "fdatasync", "fallocate", "sendfile"};
constexpr std::uint32_t kSeed = 23;

// The host's files and folders by their paths below its folder; the record folder left out.
using Tree = std::map<std::string, std::string>;

std::string Texture(int id, const std::string& name) {
    return "Textur{\tid(" + std::to_string(id) + ")\tname(" + name + ")\t}";
}

struct Point {
    std::string syscall;
    int n = 0;
};

class KillTest : public NativeProgramTest {
  protected:
    void SetUp() override {
        NativeProgramTest::SetUp();
        ProcessRun trace;
        trace.args = {"strace", "-o", "/dev/null", "true"};
        const ProcessResult probe = RunProcess(trace);
        ASSERT_EQ(probe.exitCode, 0)
            << "strace cannot trace here (not installed, or ptrace refused): " << probe.err;
        // The package: new files in new folders, replaced files, inserted and replaced textures.
        std::string files;
        std::string textures;
        const auto add = [&](const std::string& name, const std::string& destination,
                             const std::string& bytes) {
            dir.Write("pkg/" + name, bytes);
            files += "\t{" + name + ">>" + destination + "}\r\n";
        };
        for (int i = 0; i < 15; ++i) {
            add("Lok" + std::to_string(i) + ".mdl",
                "Modelle\\Neu\\Lok" + std::to_string(i) + ".mdl",
                "new locomotive " + std::string(std::size_t(i) * 700, 'l') + "\r\n");
        }
        for (int i = 0; i < 5; ++i) {
            add("Wagen" + std::to_string(i) + ".mdl",
                "Modelle\\Neu\\Tief\\Wagen" + std::to_string(i) + ".mdl", "new wagon\r\n");
        }
        for (int i = 0; i < 10; ++i) {
            add("Alt" + std::to_string(i) + ".mdl", "Modelle\\Alt" + std::to_string(i) + ".mdl",
                "better model " + std::to_string(i) + "\r\n");
        }
        add("Strecke.str", "Strecken\\Alt.str", "new line\r\n");
        add("Signal.str", "Strecken\\Neu\\Signal.str", "new signal\r\n");
        for (int id : {2, 5, 7, 100, 101, 102, 103, 104}) {
            textures += "\t{" + std::to_string(id) + ">>" + Texture(id, "neu") + "}\r\n";
        }
        dir.Write("pkg/InstSkript.txt", "Dateinstallation\r\n{\r\n" + files +
                                            "}\r\nTexturskript\r\n{\r\n" + textures + "}\r\n");
        const auto recent = fs::file_time_type::clock::now() - std::chrono::hours(24 * 10);
        for (const auto& entry : fs::directory_iterator(dir.HostPath("pkg"))) {
            fs::last_write_time(entry.path(), recent);
        }
        MakeHost();
        before_ = Snapshot();
    }

    // The host as it was before any installation: files the package replaces, files it does not
    // touch, and a catalogue with blocks it replaces, all older than the package's files.
    void MakeHost() const {
        fs::remove_all(dir.HostPath(kHost));
        std::string catalogue = "Texturen{\r\n";
        for (int id = 1; id <= 10; ++id) {
            catalogue += "\t\t" + Texture(id, "alt") + "\r\n";
        }
        dir.Write(kCatalogue, catalogue + "\t\t}\r\n");
        for (int i = 0; i < 10; ++i) {
            dir.Write(std::string(kHost) + "/Modelle/Alt" + std::to_string(i) + ".mdl",
                      "old model " + std::to_string(i) + "\r\n");
        }
        for (int i = 0; i < 5; ++i) {
            dir.Write(std::string(kHost) + "/Modelle/Eigen" + std::to_string(i) + ".dat",
                      "untouched " + std::to_string(i));
        }
        dir.Write(std::string(kHost) + "/Strecken/Alt.str", "old line\r\n");
        const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 2000);
        for (const auto& entry : fs::recursive_directory_iterator(dir.HostPath(kHost))) {
            fs::last_write_time(entry.path(), old);
        }
    }

    Tree Snapshot() const {
        Tree tree;
        const fs::path root = dir.HostPath(kHost);
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            const std::string path = entry.path().lexically_relative(root).generic_string();
            if (path == "Kolvane" || path.rfind("Kolvane/", 0) == 0) {
                continue;
            }
            tree[path] = entry.is_directory() ? kFolder : dir.Read(std::string(kHost) + "/" + path);
        }
        return tree;
    }

    ProcessRun Program(const std::string& program, std::vector<std::string> arguments,
                       const std::string& input) const {
        arguments.insert(arguments.begin(), program);
        ProcessRun run = ProgramRun(std::move(arguments), input);
        // The leak check of a sanitizer build cannot run under strace: its report would fail
        // every traced run.
        const char* sanitizer = std::getenv("ASAN_OPTIONS");
        run.environment["ASAN_OPTIONS"] =
            std::string(sanitizer != nullptr ? sanitizer : "") + ":detect_leaks=0";
        return run;
    }
    ProcessRun Install() const { return Program(dir.HostPath("pkg/kolvane"), {"-s"}, "i\n"); }
    ProcessRun Remove(const std::string& name) const {
        return Program(KOLVANE_REMOVE_PROGRAM, {name}, "y\n");
    }
    std::string List() const {
        return RunProcess(Program(KOLVANE_REMOVE_PROGRAM, {"--list"}, "")).out;
    }

    // `run` under strace: traced for `syscall` only, and killed at its `n`th call.
    static ProcessResult Killed(ProcessRun run, const Point& point) {
        run.args.insert(
            run.args.begin(),
            {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + point.syscall, "-e",
             "inject=" + point.syscall + ":signal=KILL:when=" + std::to_string(point.n)});
        return RunProcess(run);
    }

    // How often an unkilled `run` calls each of kSyscalls, and what it leaves.
    std::map<std::string, int> Count(ProcessRun run) const {
        const std::string log = dir.HostPath("strace.log");
        std::string set;
        for (const char* name : kSyscalls) {
            set += (set.empty() ? "" : ",") + std::string(name);
        }
        run.args.insert(run.args.begin(), {"strace", "-f", "-qq", "-o", log, "-e", "trace=" + set});
        const ProcessResult result = RunProcess(run);
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
        // strace counts each thread's calls apart for its fault injection: only the program's
        // own thread (the first one traced) counts here.
        std::map<std::string, int> counts;
        std::istringstream lines(dir.Read("strace.log"));
        const std::regex call(R"(^(\d+) +(?:<\.\.\. )?([a-z0-9_]+)[( ])");
        std::smatch match;
        std::string program;
        for (std::string line; std::getline(lines, line);) {
            if (!std::regex_search(line, match, call)) {
                continue;
            }
            program = program.empty() ? match[1].str() : program;
            if (match[1] == program && line.find("resumed>") == std::string::npos) {
                ++counts[match[2]];
            }
        }
        return counts;
    }

    // Kill points spread over each system call's calls: its first and last, and `each` more
    // chosen from a fixed seed, so that a failing point comes back on every run.
    static std::vector<Point> Points(const std::map<std::string, int>& counts, int each) {
        std::mt19937 random(kSeed);
        std::vector<Point> points;
        for (const auto& [syscall, count] : counts) {
            std::set<int> chosen = {1, count};
            for (int i = 0; i < each && int(chosen.size()) < count; ++i) {
                chosen.insert(1 + int(random() % std::uint32_t(count)));
            }
            for (int n : chosen) {
                points.push_back({syscall, n});
            }
        }
        return points;
    }

    // Every file is as it was before or as the installation makes it; none is missing.
    void ExpectEachFileBeforeOrAfter(const Tree& after, const Tree& user = {}) const {
        const Tree now = Snapshot();
        for (const auto& [path, bytes] : now) {
            if (path.find(".~kv") != std::string::npos) {
                continue;  // what a killed write left; the next run removes it
            }
            const auto was = before_.find(path);
            const auto will = after.find(path);
            const auto users = user.find(path);
            EXPECT_TRUE((was != before_.end() && was->second == bytes) ||
                        (will != after.end() && will->second == bytes) ||
                        (users != user.end() && users->second == bytes))
                << path << " holds " << bytes.substr(0, 40);
        }
        for (const auto& [path, bytes] : before_) {
            EXPECT_EQ(now.count(path), 1u) << path << " is missing";
        }
    }

    Tree before_;
};

void ExpectTree(const Tree& now, const Tree& expected) {
    for (const auto& [path, bytes] : now) {
        const auto want = expected.find(path);
        if (want == expected.end()) {
            ADD_FAILURE() << path << " is left over";
        } else {
            EXPECT_EQ(bytes, want->second) << path;
        }
    }
    for (const auto& [path, bytes] : expected) {
        EXPECT_EQ(now.count(path), 1u) << path << " is missing";
    }
}

// The packages --list names, newest first, each with its state.
std::vector<std::pair<std::string, std::string>> Listed(const std::string& list) {
    std::vector<std::pair<std::string, std::string>> packages;
    std::istringstream lines(list);
    for (std::string line; std::getline(lines, line);) {
        packages.emplace_back(line.substr(0, line.find(' ')), line.substr(line.rfind(' ') + 1));
    }
    return packages;
}

TEST_F(KillTest, AnInstallationKilledAnywhereIsTakenBackOrFinished) {
    const std::map<std::string, int> counts = Count(Install());
    const Tree after = Snapshot();
    ASSERT_EQ(after.at(kUserFile).substr(0, 15), "new locomotive ");
    const std::vector<Point> points = Points(counts, 7);
    int index = 0;
    for (const Point& point : points) {
        SCOPED_TRACE("seed " + std::to_string(kSeed) + ", killed at " + point.syscall + " call " +
                     std::to_string(point.n));
        const bool again = index++ % 3 == 2;  // else removed
        MakeHost();
        ASSERT_EQ(Killed(Install(), point).exitCode, -1) << "the kill point was not reached";
        ExpectEachFileBeforeOrAfter(after);
        const auto listed = Listed(List());
        if (listed.empty()) {
            ExpectTree(Snapshot(), before_);
            continue;
        }
        ASSERT_EQ(listed.size(), 1u);
        if (listed[0].second != "interrupted") {
            EXPECT_EQ(listed[0].second, "ok");
            ExpectTree(Snapshot(), after);
        }
        if (again) {
            const ProcessResult run = RunProcess(Install());
            EXPECT_EQ(run.exitCode, 0) << run.out;
            ExpectTree(Snapshot(), after);
        }
        // Newest first; the names of packages that share one change as others go.
        for (int left = 2; left > 0 && !Listed(List()).empty(); --left) {
            const auto [name, state] = Listed(List()).front();
            const ProcessResult removed = RunProcess(Remove(name));
            EXPECT_EQ(removed.exitCode, 0) << name << " " << state << "\n"
                                           << removed.out << removed.err;
        }
        EXPECT_TRUE(Listed(List()).empty());
        ExpectTree(Snapshot(), before_);
        if (HasFailure()) {
            break;
        }
    }
    std::cout << points.size() << " kill points\n";
}

TEST_F(KillTest, ARemovalKilledAnywhereIsFinishedByTheNextAndKeepsTheUsersFile) {
    ASSERT_EQ(RunProcess(Install()).exitCode, 0);
    const Tree after = Snapshot();
    const Tree user = {{kUserFile, kUsersBytes}};
    Tree expected = before_;
    expected.insert({{"Modelle/Neu", kFolder}, {kUserFile, kUsersBytes}});
    const auto changeByUser = [&] { dir.Write(std::string(kHost) + "/" + kUserFile, kUsersBytes); };
    changeByUser();
    const std::map<std::string, int> counts = Count(Remove("pkg"));
    ExpectTree(Snapshot(), expected);
    const std::vector<Point> points = Points(counts, 5);
    for (const Point& point : points) {
        SCOPED_TRACE("seed " + std::to_string(kSeed) + ", killed at " + point.syscall + " call " +
                     std::to_string(point.n));
        MakeHost();
        fs::remove_all(dir.HostPath(std::string(kHost) + "/Kolvane"));
        ASSERT_EQ(RunProcess(Install()).exitCode, 0);
        changeByUser();
        ASSERT_EQ(Killed(Remove("pkg"), point).exitCode, -1) << "the kill point was not reached";
        ExpectEachFileBeforeOrAfter(after, user);
        EXPECT_EQ(dir.Read(std::string(kHost) + "/" + kUserFile), kUsersBytes);
        const ProcessResult again = RunProcess(Remove("pkg"));
        if (Listed(List()).empty() && again.exitCode == 4) {
            // The killed removal had gone as far as its record.
        } else {
            EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
            EXPECT_NE(again.out.find("Changed since, not removed: Modelle\\Neu\\Lok3.mdl"),
                      std::string::npos)
                << again.out;
        }
        EXPECT_TRUE(Listed(List()).empty());
        ExpectTree(Snapshot(), expected);
        if (HasFailure()) {
            break;
        }
    }
    std::cout << points.size() << " kill points\n";
}

}  // namespace
}  // namespace kolvane::testing
