#include "check/checker.h"

#include <algorithm>

#include "check/dry_run.h"
#include "check/script_check.h"
#include "install/installer.h"
#include "names/windows_path.h"
#include "platform/visible_text.h"

namespace kolvane::check {
namespace {

const char* SeverityName(Severity severity) {
    return severity == Severity::kError ? "error" : "warning";
}

std::string Plural(int count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string JsonString(std::string_view text, const TextEncoder& encode) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto escaped = [](unsigned code) {
        return std::string("\\u00") + kHex[code >> 4] + kHex[code & 0xF];
    };
    std::string json = "\"";
    const std::string encoded = encode(text);
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const auto byte = static_cast<unsigned char>(encoded[i]);
        const auto next = i + 1 < encoded.size() ? static_cast<unsigned char>(encoded[i + 1]) : 0u;
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += static_cast<char>(byte);
        } else if (byte == '\n') {
            json += "\\n";
        } else if (byte == '\t') {
            json += "\\t";
        } else if (byte == '\r') {
            json += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            json += escaped(byte);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // A C1 control in UTF-8. JSON allows DEL and these unescaped, but a report read in a
            // terminal must not steer it.
            json += escaped(next);
            ++i;
        } else {
            json += static_cast<char>(byte);
        }
    }
    return json + "\"";
}

// `text` with each of the `paths` it names as a message shows the path.
std::string WithShownPaths(std::string text, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (path.size() <= names::kShownPathLimit) {
            continue;
        }
        const std::string shown = names::ShownPath(path);
        for (std::size_t at = text.find(path); at != std::string::npos;
             at = text.find(path, at + shown.size())) {
            text.replace(at, path.size(), shown);
        }
    }
    return text;
}

}  // namespace

CheckArguments ParseCheckArguments(const std::vector<std::string>& arguments) {
    CheckArguments parsed;
    bool packageGiven = false;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h" || argument == "-?" || argument == "/?") {
            parsed.help = true;
        } else if (argument == "--json") {
            parsed.json = true;
        } else if (argument == "--host") {
            parsed.host = true;
        } else if (argument == "-s" || argument == "/s") {
            parsed.silent = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            parsed.error = "unknown option " + argument;
        } else if (packageGiven) {
            parsed.error = "only one package folder can be checked at a time";
        } else {
            parsed.package = argument;
            packageGiven = true;
        }
    }
    if (parsed.silent && !parsed.host) {
        parsed.error = "-s only matters for the dry run: give --host as well";
    }
    return parsed;
}

std::string CheckUsage() {
    return "Usage: kolvane-check [--host [-s]] [--json] [package-folder]\n"
           "\n"
           "Checks an add-on package for Kolvane: its install script InstSkript.txt, the files it\n"
           "lists and its texture definitions, with the rules the installer itself applies.\n"
           "Nothing is written, anywhere.\n"
           "\n"
           "  package-folder  the folder that holds InstSkript.txt (default: the current folder)\n"
           "  --host          also a dry run against the installed host, found as the installer\n"
           "                  finds it: what each file and texture entry would do, and\n"
           "                  which installed package put there what it would replace\n"
           "  -s              the dry run as under the installer's -s (newer files kept unasked)\n"
           "  --json          the report as one JSON object\n"
           "  --help          this text\n"
           "\n"
           "Exit code: 0 nothing found, 1 warnings only, 2 errors, 3 the check could not run.\n";
}

Report CheckPackage(const std::string& packageDir, bool dryRun, bool silent, CheckSeams seams) {
    Report report;
    report.script = packageDir + "\\" + Installer::kScriptName;
    SectionRead fileSection;
    SectionRead textureSection;
    if (CheckStructure(seams.files, report.script, report, fileSection, textureSection)) {
        CheckFileEntries(fileSection.entries, packageDir, seams.files, seams.probe, report);
        CheckTextureEntries(textureSection.entries, report);
        if (dryRun) {
            DryRun({seams.registry, seams.files, seams.probe}, packageDir, silent, fileSection,
                   textureSection, report);
        }
    }
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return report;
}

std::string FormatText(const Report& report, const TextEncoder& plainEncode) {
    // Every text from the package or the host, each within one line of the report, and every
    // path as messages show it.
    const auto encode = [&plainEncode](std::string_view text,
                                       const std::vector<std::string>& paths = {}) {
        return plainEncode(platform::VisibleText(WithShownPaths(std::string(text), paths),
                                                 platform::LineFeeds::kShown));
    };
    const std::string script = encode(names::ShownPath(report.script));
    std::string text;
    for (const Finding& finding : report.findings) {
        text += script;
        if (finding.line > 0) {
            text += ":" + std::to_string(finding.line);
        }
        text += std::string(": ") + SeverityName(finding.severity) + ": " +
                encode(finding.message, finding.paths) + " [" + finding.code + "]\n";
    }
    if (report.dryRun && !report.host.empty()) {
        text += "Dry run against the host in " + encode(names::ShownPath(report.host)) + ":\n";
        std::size_t lineWidth = 1;
        for (const PlanStep& step : report.plan) {
            lineWidth = std::max(lineWidth, std::to_string(step.line).size());
        }
        for (const PlanStep& step : report.plan) {
            std::string line = std::to_string(step.line);
            line.insert(0, lineWidth - line.size(), ' ');
            std::string action = step.action;
            action.resize(std::max<std::size_t>(action.size(), 8), ' ');
            text += "  line " + line + ": " + action + " " + encode(step.subject, step.paths);
            std::string notes = encode(step.detail, step.paths);
            if (step.owner) {
                notes += (notes.empty() ? "" : "; ") + ("put there by " + encode(step.owner->name) +
                                                        " on " + encode(step.owner->date));
            }
            if (!notes.empty()) {
                text += " (" + notes + ")";
            }
            text += "\n";
        }
    }
    if (report.dryRun && !report.outcome.empty()) {
        text += "The installation would end with: \"" + encode(report.outcome) + "\"\n";
    }
    const int errors = report.Count(Severity::kError);
    const int warnings = report.Count(Severity::kWarning);
    text += errors + warnings == 0
                ? std::string("No findings.\n")
                : Plural(errors, "error") + ", " + Plural(warnings, "warning") + ".\n";
    return text;
}

std::string FormatJson(const Report& report, const TextEncoder& encode) {
    std::string json = "{\"script\":" + JsonString(report.script, encode);
    json += ",\"errors\":" + std::to_string(report.Count(Severity::kError));
    json += ",\"warnings\":" + std::to_string(report.Count(Severity::kWarning));
    json += ",\"exitCode\":" + std::to_string(report.ExitCode());
    json += ",\"findings\":[";
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
        const Finding& finding = report.findings[i];
        json += i == 0 ? "" : ",";
        json += std::string("{\"severity\":\"") + SeverityName(finding.severity) + "\"";
        json += ",\"line\":" + (finding.line > 0 ? std::to_string(finding.line) : "null");
        json += ",\"code\":" + JsonString(finding.code, encode);
        json += ",\"message\":" + JsonString(finding.message, encode) + "}";
    }
    json += "]";
    if (report.dryRun) {
        json += ",\"dryRun\":{\"host\":" + JsonString(report.host, encode) + ",\"plan\":[";
        for (std::size_t i = 0; i < report.plan.size(); ++i) {
            const PlanStep& step = report.plan[i];
            json += i == 0 ? "" : ",";
            json += "{\"line\":" + std::to_string(step.line);
            json += ",\"section\":" + JsonString(step.section, encode);
            json += ",\"action\":" + JsonString(step.action, encode);
            json += ",\"subject\":" + JsonString(step.subject, encode);
            json += ",\"detail\":" + JsonString(step.detail, encode);
            json += ",\"owner\":" +
                    (step.owner ? "{\"name\":" + JsonString(step.owner->name, encode) +
                                      ",\"date\":" + JsonString(step.owner->date, encode) + "}"
                                : std::string("null"));
            json += "}";
        }
        json += "],\"outcome\":" + JsonString(report.outcome, encode) + "}";
    }
    return json + "}\n";
}

}  // namespace kolvane::check
