#include "check/check_program.h"

namespace kolvane::check {

int RunCheckProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                    CheckProgramSeams seams) {
    const CheckArguments parsed = ParseCheckArguments(arguments);
    if (!parsed.error.empty()) {
        err << "kolvane-check: " << parsed.error << "\n\n" << CheckUsage();
        return kExitCannotCheck;
    }
    if (parsed.help) {
        out << CheckUsage();
        return 0;
    }
    const std::optional<std::string> package = seams.packagePath(parsed.package);
    if (!package) {
        err << "kolvane-check: " << seams.showArgument(parsed.package)
            << " is not a folder that can be checked\n";
        return kExitCannotCheck;
    }
    const Report report = CheckPackage(*package, parsed.host, parsed.silent,
                                       {seams.files, seams.probe, seams.registry});
    out << (parsed.json ? FormatJson(report, seams.encode) : FormatText(report, seams.encode));
    out.flush();
    return report.ExitCode();
}

}  // namespace kolvane::check
