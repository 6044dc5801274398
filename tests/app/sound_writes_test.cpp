// The native program against what a second run, a link, a permission, a kill, a full disk or a
// read error does to its writes: every host file is afterwards as it was or as the run meant it
// to be, and a run that could not do its work says so.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "native_program_fixture.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/unique_fd.h"
#include "platform/write_core.h"

namespace kolvane::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr const char* kModels = "prefix/drive_c/Halmdor/Modelle";
constexpr const char* kFailed = "(!) Error during installation process.\n";
constexpr const char* kCopyFailed = "(!) Copying of the file ";

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The names in a folder, for what a write may not leave behind.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class SoundWritesTest : public NativeProgramTest {
  protected:
    // A second package folder `name` with its own program and `script`.
    std::string Package(const std::string& name, const std::string& script) const {
        fs::create_directories(dir.HostPath(name));
        fs::copy_file(KOLVANE_PROGRAM, dir.HostPath(name + "/kolvane"));
        dir.Write(name + "/InstSkript.txt", script);
        return name;
    }

    ProcessResult RunPackage(const std::string& package, const std::string& input = "i\n",
                             std::vector<std::string> prefix = {}) const {
        prefix.push_back(dir.HostPath(package + "/kolvane"));
        ProcessRun run = ProgramRun(std::move(prefix), input);
        run.timeoutSeconds = 240;
        return RunProcess(run);
    }

    static bool Root() { return ::geteuid() == 0; }
};

// Two installations at once, as two processes: one adds many textures to a catalogue of some
// size, the other, started at the same moment, one texture. Each waits for the other's claim on
// the catalogue, so that both additions are there afterwards.
TEST_F(SoundWritesTest, TwoRunsAtOnceLoseNoTexture) {
    std::string catalogue = "Texturen{\r\n";
    for (int id = 10000; id < 12000; ++id) {
        catalogue += "\t\tTextur{\tid(" + std::to_string(id) + ")\tname(Gras)\t}\r\n";
    }
    catalogue += "}\r\n";
    std::string many = "Dateinstallation{}Texturskript{";
    for (int id = 20000; id < 20300; ++id) {
        many += "{" + std::to_string(id) + ">>Textur{id(" + std::to_string(id) + ")}}";
    }
    Package("many", many + "}");
    Package("one", "Dateinstallation{}Texturskript{{7>>Textur{id(7)}}}");
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        dir.Write(kCatalogue, catalogue);
        ProcessResult first;
        std::thread other([&] { first = RunPackage("many"); });
        const ProcessResult second = RunPackage("one");
        other.join();
        EXPECT_EQ(first.exitCode, 0) << first.out;
        EXPECT_EQ(second.exitCode, 0) << second.out;
        const std::string result = dir.Read(kCatalogue);
        EXPECT_EQ(Count(result, "Textur{"), 2000u + 300u + 1u);
        EXPECT_NE(result.find("id(7)"), std::string::npos);
        EXPECT_NE(result.find("id(20299)"), std::string::npos);
        EXPECT_NE(result.find("id(11999)"), std::string::npos);
    }
}

// While another run holds the catalogue (here the test, through the same claim as the program's
// and Wine's), a run waits, and writes once the claim is given up.
TEST_F(SoundWritesTest, ARunWaitsForTheCatalogueAnotherRunHolds) {
    platform::DriveMap root;
    root.Assign('z', "/");
    platform::PosixFiles files(std::move(root));
    const std::string before = dir.Read(kCatalogue);
    auto held = std::make_optional<platform::ScopedClaim>(files, ToDriveZ(dir.HostPath(kCatalogue)),
                                                          milliseconds(0));
    ASSERT_EQ(held->Result(), platform::ClaimResult::kClaimed);
    ProcessResult result;
    std::thread run([&] { result = RunPackage("pkg"); });
    std::this_thread::sleep_for(milliseconds(1500));
    EXPECT_EQ(dir.Read(kCatalogue), before) << "nothing is written while another holds it";
    held.reset();
    run.join();
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_NE(dir.Read(kCatalogue).find("id(2)"), std::string::npos);
}

// Links in the host are written through and stay; links in the package that lead out of it are
// not followed.
TEST_F(SoundWritesTest, WritesThroughHostLinksAndReadsNoPackageLinkOutOfThePackage) {
    dir.Write("shared/Texturen.txt", "Textur{ id(1) }\r\n");
    dir.Write("shared/Modell.mdl", "old model\r\n");
    fs::last_write_time(
        dir.HostPath("shared/Modell.mdl"),
        fs::last_write_time(dir.HostPath("pkg/Modell.mdl")) - std::chrono::hours(1));
    dir.Write("outside/secret.dat", "secret\r\n");
    fs::remove(dir.HostPath(kCatalogue));
    fs::create_directories(dir.HostPath(kModels));
    fs::create_symlink(dir.HostPath("shared/Texturen.txt"), dir.HostPath(kCatalogue));
    fs::create_symlink(dir.HostPath("shared/Modell.mdl"), dir.HostPath(kModels) + "/Modell.mdl");
    fs::create_symlink(dir.HostPath("outside/secret.dat"), dir.HostPath("pkg/Leak.dat"));
    fs::create_symlink(dir.HostPath("outside"), dir.HostPath("pkg/Sub"));
    dir.Write("pkg/InstSkript.txt",
              "Dateinstallation{{Modell.mdl>>Modelle\\Modell.mdl}{Leak.dat>>Modelle\\Leak.dat}"
              "{Sub\\secret.dat>>Modelle\\secret.dat}}Texturskript{{2>>Textur{id(2)}}}");
    const ProcessResult result = Run("i\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(Count(result.out, kCopyFailed), 2u) << result.out;
    EXPECT_TRUE(fs::is_symlink(dir.HostPath(kCatalogue)));
    EXPECT_TRUE(fs::is_symlink(dir.HostPath(kModels) + "/Modell.mdl"));
    EXPECT_EQ(dir.Read("shared/Modell.mdl"), "model\r\n");
    EXPECT_EQ(dir.Read("shared/Texturen.txt"), "Textur{\tid(1)\t}Textur{\tid(2)\t}\r\n\t\t");
    EXPECT_EQ(Names(dir.HostPath(kModels)), std::vector<std::string>{"Modell.mdl"});
    EXPECT_EQ(Names(dir.HostPath("shared")),
              (std::vector<std::string>{"Modell.mdl", "Texturen.txt"}));
}

// Run by a user who is not root: a file the user may not write is not replaced, although its
// folder would let it be renamed over; a file the user may write is written in place, although
// its folder takes no new files.
TEST_F(SoundWritesTest, TheCallersPermissionsDecideAsOnWindows) {
    if (!Root() || !FindProgram({"setpriv"})) {
        GTEST_SKIP() << "needs root and setpriv to run the program as another user";
    }
    const std::string models = dir.HostPath(kModels);
    const std::string catalogueFolder = fs::path(dir.HostPath(kCatalogue)).parent_path();
    dir.Write(std::string(kModels) + "/Fremd.mdl", "root's own\r\n");
    dir.Write(std::string(kModels) + "/Offen.mdl", "open to all\r\n");
    dir.Write("pkg/Fremd.mdl", "package\r\n");
    dir.Write("pkg/Offen.mdl", "package\r\n");
    const auto older = fs::last_write_time(dir.HostPath("pkg/Fremd.mdl")) - std::chrono::hours(1);
    fs::last_write_time(models + "/Fremd.mdl", older);
    fs::last_write_time(models + "/Offen.mdl", older);
    fs::permissions(models + "/Fremd.mdl", fs::perms(0644));
    fs::permissions(models + "/Offen.mdl", fs::perms(0666));
    dir.Write("pkg/InstSkript.txt",
              "Dateinstallation{{Fremd.mdl>>Modelle\\Fremd.mdl}{Offen.mdl>>Modelle\\Offen.mdl}}"
              "Texturskript{{2>>Textur{id(2)}}}");
    const std::vector<std::string> asNobody = {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                               "--clear-groups", "--"};
    struct Case {
        const char* name;
        fs::perms modelsFolder;
        fs::perms catalogue;
        fs::perms catalogueFolder;
        bool catalogueWritten;
    };
    const Case cases[] = {
        {"folders open to all, the catalogue only root's", fs::perms(0777), fs::perms(0644),
         fs::perms(0777), false},
        {"folders closed, the files open to all", fs::perms(0555), fs::perms(0666), fs::perms(0555),
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = dir.Read(kCatalogue);
        fs::permissions(models, c.modelsFolder);
        fs::permissions(dir.HostPath(kCatalogue), c.catalogue);
        fs::permissions(catalogueFolder, c.catalogueFolder);
        fs::permissions(dir.Path(), fs::perms(0755));
        const ProcessResult result = RunPackage("pkg", "i\n", asNobody);
        fs::permissions(models, fs::perms(0755));
        fs::permissions(catalogueFolder, fs::perms(0755));
        EXPECT_EQ(result.exitCode, 2) << result.out;
        EXPECT_EQ(Count(result.out, kCopyFailed), 1u) << "only root's model: " << result.out;
        EXPECT_EQ(dir.Read(std::string(kModels) + "/Fremd.mdl"), "root's own\r\n");
        EXPECT_EQ(dir.Read(std::string(kModels) + "/Offen.mdl"), "package\r\n");
        EXPECT_EQ(dir.Read(kCatalogue).find("id(2)") != std::string::npos, c.catalogueWritten);
        if (!c.catalogueWritten) {
            EXPECT_EQ(dir.Read(kCatalogue), before);
        }
        EXPECT_EQ(Names(models), (std::vector<std::string>{"Fremd.mdl", "Offen.mdl"}));
        EXPECT_EQ(Names(catalogueFolder), std::vector<std::string>{"Texturen.txt"});
        // A run that replaced the open file made it its own: it is root's again for the next.
        fs::remove(models + "/Offen.mdl");
        dir.Write(std::string(kModels) + "/Offen.mdl", "open to all\r\n");
        fs::last_write_time(models + "/Offen.mdl", older);
        fs::permissions(models + "/Offen.mdl", fs::perms(0666));
    }
}

// kill -9 in the middle of a copy leaves a temporary file; the next run removes it, but not the
// temporary file of a run that is still writing.
TEST_F(SoundWritesTest, TheNextRunRemovesWhatAKilledRunLeft) {
    dir.Write("pkg/Gross.dat", std::string(96 << 20, 'g'));
    dir.Write("pkg/InstSkript.txt",
              "Dateinstallation{{Gross.dat>>Modelle\\Gross.dat}}Texturskript{{2>>Textur{id(2)}}}");
    const std::string models = dir.HostPath(kModels);
    fs::create_directories(models);
    const auto leftovers = [&] {
        std::vector<std::string> found;
        for (const std::string& name : Names(models)) {
            if (platform::IsTemporaryName(name)) {
                found.push_back(name);
            }
        }
        return found;
    };
    // Killed when its temporary file appears; a copy the kernel makes at once may finish before,
    // so a few tries are allowed.
    for (int attempt = 0; attempt < 20 && leftovers().empty(); ++attempt) {
        fs::remove(models + "/Gross.dat");
        int input[2];
        ASSERT_EQ(::pipe(input), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(input[0], STDIN_FILENO);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::setenv("WINEPREFIX", dir.HostPath("prefix").c_str(), 1);
            ::execl(dir.HostPath("pkg/kolvane").c_str(), "kolvane", nullptr);
            ::_exit(127);
        }
        ::close(input[0]);
        EXPECT_EQ(::write(input[1], "i\n", 2), 2);
        for (int poll = 0; poll < 20000 && leftovers().empty(); ++poll) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(input[1]);
    }
    ASSERT_FALSE(leftovers().empty()) << "no run was caught while it copied";
    // A run that is still writing holds the lock on its temporary file.
    const std::string liveName = platform::TemporaryName("Gross.dat", 0x4c697665);
    dir.Write(std::string(kModels) + "/" + liveName, "being written");
    const platform::UniqueFd live(::open((models + "/" + liveName).c_str(), O_RDWR));
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = off_t{1} << 62;
    lock.l_len = 1;
    ASSERT_EQ(::fcntl(live.Get(), F_OFD_SETLK, &lock), 0);

    const ProcessResult result = Run("i\n");
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(leftovers(), std::vector<std::string>{liveName});
    EXPECT_EQ(fs::file_size(models + "/Gross.dat"), std::uintmax_t{96} << 20);
}

// A disk that fills up: the copy and the catalogue fail, no partial file is left, and what was
// there stays whole.
TEST_F(SoundWritesTest, AFullDiskLeavesEveryFileWhole) {
    const std::string host = dir.HostPath("prefix/drive_c/Halmdor");
    if (!Root() || ::mount("tmpfs", host.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "needs root to mount a small file system";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{host};
    const std::string model(600 << 10, 'o');
    const std::string catalogue = "Textur{ id(1) }\r\n" + std::string(300 << 10, 'c') + "\r\n";
    dir.Write(std::string(kModels) + "/Modell.mdl", model);
    dir.Write(kCatalogue, catalogue);
    dir.Write("pkg/Modell.mdl", std::string(600 << 10, 'n'));
    dir.Write("pkg/InstSkript.txt",
              "Dateinstallation{{Modell.mdl>>Modelle\\Modell.mdl}}"
              "Texturskript{{2>>Textur{id(2)}}}");
    const ProcessResult result = Run("i\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(Count(result.out, kCopyFailed), 1u) << result.out;
    EXPECT_NE(result.out.find(kFailed), std::string::npos);
    EXPECT_EQ(dir.Read(std::string(kModels) + "/Modell.mdl"), model);
    EXPECT_EQ(dir.Read(kCatalogue), catalogue);
    EXPECT_EQ(Names(dir.HostPath(kModels)), std::vector<std::string>{"Modell.mdl"});
    EXPECT_EQ(Names(fs::path(dir.HostPath(kCatalogue)).parent_path()),
              std::vector<std::string>{"Texturen.txt"});
}

// A script that fails to read (here one that reads as the program's own unmapped memory): the
// run installs nothing and says that it failed.
TEST_F(SoundWritesTest, AScriptThatCannotBeReadEndsTheRunWithFailure) {
    fs::remove(dir.HostPath("pkg/InstSkript.txt"));
    fs::create_symlink("/proc/self/mem", dir.HostPath("pkg/InstSkript.txt"));
    const ProcessResult result = Run("i\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.out.find(kFailed), std::string::npos) << result.out;
    EXPECT_FALSE(fs::exists(dir.HostPath(kModels)));
}

}  // namespace
}  // namespace kolvane::testing
