#include "cmdline/cmdline.h"

namespace cmdline {

ParameterListState ParameterList;

CommandParameter::CommandParameter(char name, const char* help, std::uint32_t flags)
    : flags(flags | CharName), help(help) {
    this->name.character = name;
    Enrol();
}

CommandParameter::CommandParameter(const char* name, const char* help, std::uint32_t flags)
    : flags(flags & ~static_cast<std::uint32_t>(CharName)), help(help) {
    this->name.string = name;
    Enrol();
}

void CommandParameter::Enrol() {
    next = nullptr;
    if (ParameterList.first == nullptr) {
        ParameterList.first = this;
    } else {
        ParameterList.last->next = this;
    }
    ParameterList.last = this;
}

SwitchParameter::SwitchParameter(char name, const char* help, std::uint32_t flags)
    : CommandParameter(name, help, flags) {}

HelpParameter::HelpParameter()
    : CommandParameter('?', "display usage help (argument for help on a particular parameter)",
                       OptionalValue) {}

}  // namespace cmdline
