#include "app/SessionScript.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace Kiln {
namespace {

using Kind = ScriptCommand::Kind;

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

/// The text after the first `skip` words, with its inner spacing kept.
std::string restAfter(const std::string& line, std::size_t skip) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < skip; ++i) {
        at = line.find_first_not_of(" \t", at);
        at = line.find_first_of(" \t", at);
        if (at == std::string::npos)
            return "";
    }
    const std::size_t start = line.find_first_not_of(" \t", at);
    if (start == std::string::npos)
        return "";
    const std::size_t end = line.find_last_not_of(" \t\r");
    return line.substr(start, end - start + 1);
}

double parseNumber(const std::string& text, int line, const std::string& what) {
    std::size_t used = 0;
    double value = 0.0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || !std::isfinite(value))
        throw ScriptError(line, what + " must be a number, not '" + text + "'");
    return value;
}

std::uint64_t parseCount(const std::string& text, int line, const std::string& what) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 12)
        throw ScriptError(line, what + " must be a whole number, not '" + text + "'");
    return std::stoull(text);
}

void expectWords(const std::vector<std::string>& w, std::size_t low, std::size_t high, int line,
                 const std::string& usage) {
    if (w.size() < low || w.size() > high)
        throw ScriptError(line, "usage: " + usage);
}

ScriptCommand parseStylus(const std::vector<std::string>& w, int line) {
    expectWords(w, 4, 6, line, "stylus X Y Z [BUTTONS [SECONDS]]");
    ScriptCommand c;
    c.kind = Kind::Stylus;
    c.point = Ogre::Vector3(float(parseNumber(w[1], line, "X")), float(parseNumber(w[2], line, "Y")),
                            float(parseNumber(w[3], line, "Z")));
    if (w.size() > 4) {
        const std::uint64_t buttons = parseCount(w[4], line, "BUTTONS");
        if (buttons > 255)
            throw ScriptError(line, "BUTTONS is a mask of button IDs 0 to 7 (0 to 255)");
        c.buttons = static_cast<std::uint32_t>(buttons);
    }
    if (w.size() > 5) {
        c.seconds = parseNumber(w[5], line, "SECONDS");
        if (c.seconds < 0)
            throw ScriptError(line, "SECONDS must not be negative");
    }
    return c;
}

ScriptCommand parseKey(const std::vector<std::string>& w, int line,
                       bool (*isKnownKey)(const std::string&)) {
    expectWords(w, 2, 2, line, w[0] + (w[0] == "key" ? " [ctrl+][shift+][alt+]KEY" : " KEY"));
    ScriptCommand c;
    c.kind = w[0] == "key" ? Kind::Key : (w[0] == "keydown" ? Kind::KeyDown : Kind::KeyUp);
    std::string rest = w[1];
    if (c.kind == Kind::Key) {
        const auto takePrefix = [&rest](const std::string& prefix) {
            if (rest.size() > prefix.size() && rest.compare(0, prefix.size(), prefix) == 0) {
                rest.erase(0, prefix.size());
                return true;
            }
            return false;
        };
        c.ctrl = takePrefix("ctrl+");
        c.shift = takePrefix("shift+");
        c.alt = takePrefix("alt+");
    }
    if (!isKnownKey(rest))
        throw ScriptError(line, "unknown key '" + rest + "'");
    c.name = rest;
    return c;
}

ScriptCommand parseLine(const std::string& text, int line, bool (*isKnownKey)(const std::string&)) {
    const std::vector<std::string> w = words(text);
    const std::string& verb = w[0];
    ScriptCommand c;
    if (verb == "frames") {
        expectWords(w, 2, 2, line, "frames N");
        c.kind = Kind::Frames;
        c.count = parseCount(w[1], line, "N");
    } else if (verb == "sleep") {
        expectWords(w, 2, 2, line, "sleep SECONDS");
        c.kind = Kind::Sleep;
        c.seconds = parseNumber(w[1], line, "SECONDS");
        if (c.seconds < 0)
            throw ScriptError(line, "SECONDS must not be negative");
    } else if (verb == "stylus") {
        c = parseStylus(w, line);
    } else if (verb == "invoke") {
        if (w.size() < 2)
            throw ScriptError(line, "usage: invoke NAME [ARGUMENT...]");
        c.kind = Kind::Invoke;
        c.name = w[1];
        c.hasArgument = w.size() > 2;
        c.argument = restAfter(text, 2);
    } else if (verb == "key" || verb == "keydown" || verb == "keyup") {
        c = parseKey(w, line, isKnownKey);
    } else if (verb == "dump" || verb == "screenshot") {
        if (w.size() < 2)
            throw ScriptError(line, "usage: " + verb + " PATH");
        c.kind = verb == "dump" ? Kind::Dump : Kind::Screenshot;
        c.name = restAfter(text, 1);
    } else if (verb == "waitfile") {
        if (w.size() < 2)
            throw ScriptError(line, "usage: waitfile PATH");
        c.kind = Kind::WaitFile;
        c.name = restAfter(text, 1);
    } else if (verb == "click" || verb == "focus" || verb == "choose" || verb == "type") {
        if (w.size() < 2)
            throw ScriptError(line, "usage: " + verb + (verb == "type" ? " TEXT" : verb == "choose" ? " PATH|cancel" : " WINDOW"));
        c.kind = verb == "click" ? Kind::Click : verb == "focus" ? Kind::Focus
               : verb == "choose" ? Kind::Choose : Kind::Type;
        c.name = restAfter(text, 1);
    } else if (verb == "answer") {
        expectWords(w, 2, 2, line, "answer OK|Cancel|Yes|No|Retry|Abort|Ignore|close");
        static const char* const answers[] = {"OK", "Cancel", "Yes", "No", "Retry", "Abort", "Ignore", "close"};
        if (std::find(std::begin(answers), std::end(answers), w[1]) == std::end(answers))
            throw ScriptError(line, "unknown answer '" + w[1] + "'");
        c.kind = Kind::Answer;
        c.name = w[1];
    } else if (verb == "mousestylus") {
        expectWords(w, 1, 1, line, verb);
        c.kind = Kind::MouseStylus;
    } else if (verb == "quit" || verb == "exit") {
        expectWords(w, 1, 1, line, verb);
        c.kind = verb == "quit" ? Kind::Quit : Kind::Exit;
    } else {
        throw ScriptError(line, "unknown command '" + verb + "'");
    }
    c.line = line;
    return c;
}

} // namespace

std::vector<ScriptCommand> parseScript(const std::string& text,
                                       bool (*isKnownKey)(const std::string& name)) {
    std::vector<ScriptCommand> commands;
    std::istringstream in(text);
    int line = 0;
    for (std::string raw; std::getline(in, raw);) {
        ++line;
        const std::size_t start = raw.find_first_not_of(" \t\r");
        if (start == std::string::npos || raw[start] == '#')
            continue;
        commands.push_back(parseLine(raw.substr(start), line, isKnownKey));
    }
    if (usesMouseStylus(commands))
        for (const ScriptCommand& c : commands)
            if (c.kind == Kind::Stylus)
                throw ScriptError(c.line, "the stylus belongs to the mouse in this script (mousestylus)");
    return commands;
}

bool usesMouseStylus(const std::vector<ScriptCommand>& commands) {
    for (const ScriptCommand& c : commands)
        if (c.kind == Kind::MouseStylus)
            return true;
    return false;
}

std::vector<ScriptCommand> loadScript(const std::string& path,
                                      bool (*isKnownKey)(const std::string& name)) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ScriptError(0, "cannot read the script");
    std::ostringstream text;
    text << in.rdbuf();
    return parseScript(text.str(), isKnownKey);
}

ScriptRunner::ScriptRunner(std::vector<ScriptCommand> commands_, IScriptHost& host_)
    : commands(std::move(commands_)), host(host_) {}

bool ScriptRunner::stillWaiting(double seconds) {
    if (framesLeft > 0) {
        --framesLeft;
        return framesLeft > 0;
    }
    if (secondsLeft > 0.0) {
        secondsLeft -= seconds;
        if (secondsLeft > 0.0)
            return true;
        secondsLeft = 0.0;
    }
    if (!awaitedFile.empty()) {
        std::ifstream probe(awaitedFile);
        if (!probe)
            return true;
        awaitedFile.clear();
    }
    if (awaitingStylus) {
        // Hold for one more frame once the device got there, so that the
        // frame's haptic update has seen the final position.
        if (!host.isStylusSettled())
            return true;
        awaitingStylus = false;
        framesLeft = 1;
        return true;
    }
    return false;
}

void ScriptRunner::onFrame(double seconds) {
    if (stillWaiting(seconds))
        return;
    while (next < commands.size() && !waiting())
        run(commands[next++]);
}

void ScriptRunner::run(const ScriptCommand& command) {
    try {
        switch (command.kind) {
        case Kind::Frames: framesLeft = command.count; break;
        case Kind::Sleep: secondsLeft = command.seconds; break;
        case Kind::Stylus:
            host.moveStylus(command.point, command.buttons, command.seconds);
            secondsLeft = command.seconds;
            awaitingStylus = true;
            break;
        case Kind::Invoke:
            host.invoke(command.name, command.hasArgument ? &command.argument : nullptr);
            break;
        case Kind::Key: pressKey(command); break;
        case Kind::KeyDown: host.key(command.name, true); break;
        case Kind::KeyUp: host.key(command.name, false); break;
        case Kind::Dump: host.dump(command.name); break;
        case Kind::Screenshot: host.screenshot(command.name); break;
        case Kind::Quit: host.quit(); break;
        case Kind::Exit: host.exitNow(); break;
        case Kind::WaitFile: awaitedFile = command.name; break;
        case Kind::MouseStylus: break; // decided before the first frame
        case Kind::Click: host.click(command.name); break;
        case Kind::Answer: host.answer(command.name); break;
        case Kind::Choose: host.choose(command.name); break;
        case Kind::Type: host.type(command.name); break;
        case Kind::Focus: host.focus(command.name); break;
        }
    } catch (const ScriptError&) {
        throw;
    } catch (const std::exception& e) {
        throw ScriptError(command.line, e.what());
    }
}

void ScriptRunner::pressKey(const ScriptCommand& command) {
    const char* modifiers[] = {command.ctrl ? "ctrl" : nullptr, command.shift ? "shift" : nullptr,
                               command.alt ? "alt" : nullptr};
    for (const char* m : modifiers)
        if (m)
            host.key(m, true);
    host.key(command.name, true);
    host.key(command.name, false);
    for (int i = 2; i >= 0; --i)
        if (modifiers[i])
            host.key(modifiers[i], false);
}

} // namespace Kiln
