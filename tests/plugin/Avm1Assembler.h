// Writes ActionScript 1/2 bytecode for the script machine's tests: one Push per value, named labels for
// branches, functions and try blocks with their bodies, and a movie around it run in-process with its trace lines
// collected.
#pragma once

#include "MovieBuilder.h"
#include "timeline/MoviePlayer.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace plugintest {

class Asm
{
public:
    std::vector<uint8_t> bytes;

    Asm& op(uint8_t code)
    {
        bytes.push_back(code);
        return *this;
    }
    // An action with a body.
    Asm& action(uint8_t code, const std::vector<uint8_t>& body)
    {
        bytes.push_back(code);
        u16(bytes, uint16_t(body.size()));
        bytes.insert(bytes.end(), body.begin(), body.end());
        return *this;
    }
    Asm& str(const std::string& s)
    {
        std::vector<uint8_t> body { 0 };
        text(body, s);
        return action(0x96, body);
    }
    Asm& num(double d)
    {
        uint64_t bits = 0;
        std::memcpy(&bits, &d, 8);
        std::vector<uint8_t> body { 6 };
        for (int shift : { 32, 40, 48, 56, 0, 8, 16, 24 })
            body.push_back(uint8_t(bits >> shift));
        return action(0x96, body);
    }
    Asm& i32(int32_t v)
    {
        std::vector<uint8_t> body { 7 };
        for (int shift = 0; shift < 32; shift += 8)
            body.push_back(uint8_t(uint32_t(v) >> shift));
        return action(0x96, body);
    }
    Asm& boolean(bool b) { return action(0x96, { 5, uint8_t(b) }); }
    Asm& null() { return action(0x96, { 2 }); }
    Asm& undef() { return action(0x96, { 3 }); }
    Asm& reg(uint8_t r) { return action(0x96, { 4, r }); }
    Asm& constant(uint8_t i) { return action(0x96, { 8, i }); }
    Asm& pool(const std::vector<std::string>& strings)
    {
        std::vector<uint8_t> body;
        u16(body, uint16_t(strings.size()));
        for (const auto& s : strings)
            text(body, s);
        return action(0x88, body);
    }
    Asm& store(uint8_t r) { return action(0x87, { r }); }
    // Shorthands for what tests do most.
    Asm& trace() { return op(0x26); }
    Asm& get(const std::string& name) { return str(name).op(0x1C); }
    Asm& set(const std::string& name, Asm value)
    {
        str(name);
        append(value);
        return op(0x1D);
    }
    Asm& append(const Asm& other)
    {
        const size_t base = bytes.size();
        bytes.insert(bytes.end(), other.bytes.begin(), other.bytes.end());
        for (const auto& [name, at] : other.m_Labels)
            m_Labels[name] = at + base;
        for (const auto& [at, name] : other.m_Fixups)
            m_Fixups.emplace_back(at + base, name);
        return *this;
    }
    Asm& label(const std::string& name)
    {
        m_Labels[name] = bytes.size();
        return *this;
    }
    Asm& jump(const std::string& name) { return branch(0x99, name); }
    Asm& ifTrue(const std::string& name) { return branch(0x9D, name); }
    // DefineFunction (v1) with named parameters.
    Asm& function(const std::string& name, const std::vector<std::string>& params, Asm body)
    {
        const std::vector<uint8_t> code = body.finished(false);
        std::vector<uint8_t> head;
        text(head, name);
        u16(head, uint16_t(params.size()));
        for (const auto& p : params)
            text(head, p);
        u16(head, uint16_t(code.size()));
        action(0x9B, head);
        bytes.insert(bytes.end(), code.begin(), code.end());
        return *this;
    }
    // DefineFunction2: parameters in registers (0: by name), flags as the format orders them.
    Asm& function2(const std::string& name, uint8_t registers, uint16_t flags,
        const std::vector<std::pair<uint8_t, std::string>>& params, Asm body)
    {
        const std::vector<uint8_t> code = body.finished(false);
        std::vector<uint8_t> head;
        text(head, name);
        u16(head, uint16_t(params.size()));
        head.push_back(registers);
        u16(head, flags);
        for (const auto& [r, p] : params) {
            head.push_back(r);
            text(head, p);
        }
        u16(head, uint16_t(code.size()));
        action(0x8E, head);
        bytes.insert(bytes.end(), code.begin(), code.end());
        return *this;
    }
    // try { body } catch (name) { handler } finally { last }; an empty block is left out.
    Asm& tryBlock(Asm body, const std::string& catchName, Asm handler, Asm last, bool withCatch, bool withFinally)
    {
        const auto b = body.finished(false), h = handler.finished(false), l = last.finished(false);
        std::vector<uint8_t> head { uint8_t((withCatch ? 1 : 0) | (withFinally ? 2 : 0)) };
        u16(head, uint16_t(b.size()));
        u16(head, uint16_t(withCatch ? h.size() : 0));
        u16(head, uint16_t(withFinally ? l.size() : 0));
        text(head, catchName);
        action(0x8F, head);
        bytes.insert(bytes.end(), b.begin(), b.end());
        if (withCatch)
            bytes.insert(bytes.end(), h.begin(), h.end());
        if (withFinally)
            bytes.insert(bytes.end(), l.begin(), l.end());
        return *this;
    }

    // The bytes with branches resolved, End appended when asked.
    std::vector<uint8_t> finished(bool end = true) const
    {
        std::vector<uint8_t> out = bytes;
        for (const auto& [at, name] : m_Fixups) {
            const auto it = m_Labels.find(name);
            const long target = it == m_Labels.end() ? long(at) + 2 : long(it->second);
            const long offset = target - long(at + 2);
            out[at] = uint8_t(offset);
            out[at + 1] = uint8_t(uint16_t(int16_t(offset)) >> 8);
        }
        if (end)
            out.push_back(0);
        return out;
    }

    static void u16(std::vector<uint8_t>& out, uint16_t v)
    {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    }
    static void text(std::vector<uint8_t>& out, const std::string& s)
    {
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    }

private:
    Asm& branch(uint8_t code, const std::string& name)
    {
        bytes.push_back(code);
        u16(bytes, 2);
        m_Fixups.emplace_back(bytes.size(), name);
        bytes.push_back(0);
        bytes.push_back(0);
        return *this;
    }
    std::map<std::string, size_t> m_Labels;
    std::vector<std::pair<size_t, std::string>> m_Fixups;
};

// Plays a movie of one frame per script (each frame's script given) for `frames` frames; the traced lines.
inline std::vector<std::string> RunScripts(const std::vector<Asm>& scripts, uint8_t version = 8, int frames = 1)
{
    MovieBuilder movie(40, 40, 12.0f, version);
    for (const Asm& script : scripts) {
        movie.raw(kTagDoAction, script.finished());
        movie.showFrame();
    }
    const std::vector<uint8_t> bytes = movie.finish();
    std::vector<std::string> lines;
    reelfinch::plugin::MoviePlayer player;
    player.onTrace = [&lines](const std::string& line) { lines.push_back(line); };
    player.load(bytes.data(), bytes.size());
    for (int i = 1; i < frames; ++i)
        player.step();
    return lines;
}

inline std::vector<std::string> RunScript(const Asm& script, uint8_t version = 8)
{
    return RunScripts({ script }, version, 1);
}

} // namespace plugintest
