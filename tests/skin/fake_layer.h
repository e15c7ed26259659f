// A tree of pretend windows that carry class names, properties and styles, and log every change.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "skin/skin.h"

namespace skintest {

struct FakeWindow {
    std::string className;
    std::map<std::string, skin::Value, std::less<>> props;
    std::uint32_t style = 0x50010000;  // visible child with a tab stop
    std::vector<skin::Handle> children;
};

/// Handles are 1-based indexes into `windows`; 0 names no window. Reads are logged as "class h"
/// and "children h" so tests can see what was visited; every change is logged in full.
class FakeLayer final : public skin::WindowLayer {
public:
    std::vector<FakeWindow> windows;
    mutable std::vector<std::string> log;  // reads are logged too
    bool classNameThrows = false;

    skin::Handle add(std::string className, skin::Handle parent = 0) {
        windows.push_back({std::move(className), {}, 0x50010000, {}});
        const skin::Handle h = windows.size();
        if (parent) at(parent).children.push_back(h);
        return h;
    }
    FakeWindow& at(skin::Handle h) { return windows.at(h - 1); }

    /// The log without the reads: only what changed something.
    std::vector<std::string> changes() const {
        std::vector<std::string> out;
        for (const auto& line : log)
            if (line.rfind("class ", 0) != 0 && line.rfind("children ", 0) != 0) out.push_back(line);
        return out;
    }

    std::string className(skin::Handle h) const override {
        log.push_back("class " + std::to_string(h));
        if (classNameThrows) throw std::runtime_error("no class");
        return h ? windows.at(h - 1).className : "";
    }
    std::vector<skin::Handle> descendants(skin::Handle h) const override {
        log.push_back("children " + std::to_string(h));
        std::vector<skin::Handle> out;
        collect(h, out);
        return out;
    }
    skin::Value getProp(skin::Handle h, std::string_view name) const override {
        const auto& props = windows.at(h - 1).props;
        const auto it = props.find(name);
        return it == props.end() ? 0 : it->second;
    }
    void setProp(skin::Handle h, std::string_view name, skin::Value v) override {
        at(h).props[std::string(name)] = v;
        log.push_back("setProp " + std::to_string(h) + " " + std::string(name) + " " + std::to_string(v));
    }
    void removeProp(skin::Handle h, std::string_view name) override {
        if (auto it = at(h).props.find(name); it != at(h).props.end()) at(h).props.erase(it);
        log.push_back("removeProp " + std::to_string(h) + " " + std::string(name));
    }
    std::uint32_t style(skin::Handle h) const override { return windows.at(h - 1).style; }
    void setStyle(skin::Handle h, std::uint32_t s) override {
        at(h).style = s;
        log.push_back("setStyle " + std::to_string(h));
    }
    void clearRegion(skin::Handle h) override { record("clearRegion", h); }
    void setWindowProc(skin::Handle h, skin::Value p) override {
        log.push_back("setWindowProc " + std::to_string(h) + " " + std::to_string(p));
    }
    void invalidate(skin::Handle h) override { record("invalidate", h); }
    void sendNcPaint(skin::Handle h) override { record("ncPaint", h); }
    void killTimer(skin::Handle h, skin::Value id) override {
        log.push_back("killTimer " + std::to_string(h) + " " + std::to_string(id));
    }
    void deleteObject(skin::Value v) override { record("deleteObject", v); }
    void deleteDc(skin::Value v) override { record("deleteDc", v); }

private:
    void record(const char* what, std::uintptr_t v) { log.push_back(std::string(what) + " " + std::to_string(v)); }
    void collect(skin::Handle h, std::vector<skin::Handle>& out) const {
        if (!h) return;
        for (skin::Handle c : windows.at(h - 1).children) {
            out.push_back(c);
            collect(c, out);
        }
    }
};

}  // namespace skintest
