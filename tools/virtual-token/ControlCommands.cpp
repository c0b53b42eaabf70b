#include "ControlCommands.h"

#include "VirtualToken.h"
#include "VpcdLink.h"

#include <ctime>
#include <sstream>

namespace {

const char kHelp[] = "commands: state, insert, remove, status XXXX [INS], lift-now, lift-after, "
                     "delay MS, serial TEXT, help";

std::string JsonText(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::string UtcText(uint32_t clock)
{
    const time_t seconds = static_cast<time_t>(clock);
    tm calendar{};
    gmtime_r(&seconds, &calendar);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &calendar);
    return text;
}

bool ReadNumber(const std::string& text, int base, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, base);
    return *end == '\0';
}

} // namespace

std::string StateJson(const VirtualToken& token, const VpcdLink& link)
{
    const int64_t now = HostTimeNow();
    const VirtualTokenState state = token.state();
    const uint32_t clock = token.clock(now);
    std::ostringstream json;
    json << "{\"serial\":" << JsonText(state.serial)
         << ",\"inserted\":" << (link.inserted() ? "true" : "false")
         << ",\"connected\":" << (link.connected() ? "true" : "false")
         << ",\"powered\":" << (state.powered ? "true" : "false") << ",\"seed\":\""
         << Hex(state.seed) << "\",\"seedLength\":" << state.seed.size() << ",\"algorithm\":\""
         << (state.algorithm == 2 ? "SHA256" : "SHA1") << "\",\"timeStep\":" << state.timeStep
         << ",\"displayTime\":" << state.displayTime << ",\"option\":" << state.option
         << ",\"configured\":" << (state.configured ? "true" : "false")
         << ",\"clockOffset\":" << state.clockOffset << ",\"clock\":" << clock
         << ",\"clockText\":\"" << UtcText(clock) << "\""
         << ",\"code\":\"" << token.displayedCode(now) << "\""
         << ",\"sealed\":" << (state.sealed ? "true" : "false")
         << ",\"triesLeft\":" << state.triesLeft << ",\"maxTries\":" << state.maxTries
         << ",\"authenticated\":" << (state.authenticated ? "true" : "false") << "}";
    return json.str();
}

std::string RunControlCommand(VirtualToken& token, VpcdLink& link, const std::string& line)
{
    std::istringstream words(line);
    std::string command, argument;
    words >> command;
    std::getline(words >> std::ws, argument);

    if (command == "state")
        return StateJson(token, link);
    if (command == "insert") {
        link.insert();
        return "ok";
    }
    if (command == "remove") {
        link.remove();
        return "ok";
    }
    if (command == "status") {
        std::istringstream parts(argument);
        std::string swText, insText;
        parts >> swText >> insText;
        long sw = 0, ins = 0;
        if (swText.size() != 4 || !ReadNumber(swText, 16, sw) ||
            (!insText.empty() && (insText.size() != 2 || !ReadNumber(insText, 16, ins))))
            return "error: status needs four hexadecimal digits and optionally an instruction "
                   "byte, e.g. status 6A82 or status 63C2 CE";
        token.answerNextWith(static_cast<uint16_t>(sw),
                             insText.empty() ? std::nullopt
                                             : std::optional<uint8_t>(static_cast<uint8_t>(ins)));
        return "ok";
    }
    if (command == "lift-now") {
        token.liftOnNextCommand();
        return "ok";
    }
    if (command == "lift-after") {
        token.liftAfterNextAnswer();
        return "ok";
    }
    if (command == "delay") {
        long milliseconds = 0;
        if (!ReadNumber(argument, 10, milliseconds) || milliseconds < 0 || milliseconds > 60000)
            return "error: delay needs milliseconds from 0 to 60000";
        token.setAnswerDelay(std::chrono::milliseconds(milliseconds));
        return "ok";
    }
    if (command == "serial") {
        if (argument.empty() || argument.size() > 32)
            return "error: serial needs a text of 1 to 32 bytes";
        token.setSerial(argument);
        return "ok";
    }
    if (command == "help" || command.empty())
        return kHelp;
    return "error: unknown command \"" + command + "\"; " + kHelp;
}
