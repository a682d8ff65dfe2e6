#include "report.h"

#include <cstdio>
#include <cstring>

#include "core/host_addresses.h"
#include "patches/patch_sites.h"
#include "host_object.h"
#include "json.h"
#include "plugin_image.h"

namespace hostsim {
namespace {

std::string HexByte(std::uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::uint8_t byte : bytes) text += (text.empty() ? "" : " ") + HexByte(byte);
    return text;
}

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string FloatText(float value) {
    char text[48];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

std::uint32_t Little32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

std::string NameTarget(std::uint32_t target, std::uint32_t moduleBase, std::uint32_t moduleSize) {
    harness::ModuleRange module;
    module.Base = moduleBase;
    module.Size = moduleSize;
    if (module.Holds(target)) {
        module = harness::RangeOf(reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(moduleBase)));
        const std::string where = " (ZorbelKavrin.asi+" + Hex32(target - moduleBase) + ")";
        if (harness::IsLodOverrideHook(module, target)) return "LodOverrideHook" + where;
        if (harness::IsAttributeValueEntryStub(module, target)) return "AttributeValueEntryStub" + where;
        if (harness::IsAutosculptSliderStub(module, target)) return "AutosculptSliderStub" + where;
        return "an unknown routine" + where;
    }
    return "host code " + Hex32(target);
}

Change Describe(const zk::PatchSite& site, std::uint32_t moduleBase, std::uint32_t moduleSize) {
    Change change;
    change.Address = site.Address;
    const auto& pristine = harness::PristineImage();
    const auto* live = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(site.Address));
    change.Before.assign(pristine.begin() + (site.Address - SIM_IMAGE_BASE),
                         pristine.begin() + (site.Address - SIM_IMAGE_BASE + site.Width));
    change.After.assign(live, live + site.Width);
    change.What = site.What;
    if (site.Kind == zk::SiteKind::SteerAngle) {
        change.What += " " + FloatText(harness::BitsFloat(Little32(change.Before, 0))) + " -> " +
                       FloatText(harness::BitsFloat(Little32(change.After, 0)));
    } else if (site.Width == 4) {
        change.What += " " + std::to_string(Little32(change.Before, 0)) + " -> " +
                       std::to_string(Little32(change.After, 0));
    } else if (site.Width == 5 && (change.After[0] == 0xE8 || change.After[0] == 0xE9)) {
        change.What += " -> " + NameTarget(site.Address + 5 + Little32(change.After, 1), moduleBase, moduleSize);
    }
    return change;
}

// "PAGE_EXECUTE_READWRITE", ..., or the number for a protection without a name.
std::string ProtectionName(std::uint32_t protection) {
    switch (protection) {
        case 0x01: return "PAGE_NOACCESS";
        case 0x02: return "PAGE_READONLY";
        case 0x04: return "PAGE_READWRITE";
        case 0x08: return "PAGE_WRITECOPY";
        case 0x10: return "PAGE_EXECUTE";
        case 0x20: return "PAGE_EXECUTE_READ";
        case 0x40: return "PAGE_EXECUTE_READWRITE";
        case 0x80: return "PAGE_EXECUTE_WRITECOPY";
        default: return Hex32(protection);
    }
}

}  // namespace

std::vector<Change> DescribeChanges(const std::vector<harness::ByteChange>& bytes, std::uint32_t moduleBase,
                                    std::uint32_t moduleSize) {
    std::vector<Change> changes;
    std::vector<bool> explained(bytes.size(), false);
    for (const zk::PatchSite& site : zk::PlanSites()) {
        bool touched = false;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i].Address >= site.Address && bytes[i].Address < site.Address + site.Width) {
                touched = explained[i] = true;
            }
        }
        if (touched) changes.push_back(Describe(site, moduleBase, moduleSize));
    }
    // Anything else is a write the plugin has no business making.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (explained[i]) continue;
        Change stray;
        stray.Address = bytes[i].Address;
        stray.Expected = false;
        stray.What = "UNEXPECTED: no site of the plugin";
        for (; i < bytes.size() && !explained[i] && bytes[i].Address == stray.Address + stray.Before.size(); ++i) {
            stray.Before.push_back(bytes[i].Before);
            stray.After.push_back(bytes[i].After);
        }
        --i;
        changes.push_back(stray);
    }
    return changes;
}

std::vector<Probe> RunProbes(const Report& report) {
    std::vector<Probe> probes;
    // Level of detail: a few cars by their key, and a key of no car.
    std::vector<std::pair<std::string, std::uint32_t>> keys;
    for (std::size_t i = 0; i < report.Cars.size() && i < 4; ++i) {
        keys.push_back({report.Cars[i].Name, report.Cars[i].Key});
    }
    keys.push_back({"no car", 0x0BADCAFE});
    for (const auto& [label, key] : keys) {
        char name[] = "BODY_C";
        sim::LodPass pass{};
        pass.Name = harness::Address(name);
        pass.Key = key;
        harness::PassLodSite(pass);
        probes.push_back({"level of detail", "\"BODY_C\", key " + Hex32(key) + " (" + label + ")",
                          "\"" + std::string(name) + "\", host routine returned " + Hex32(pass.Out.Eax)});
    }
    // Attribute value: no object; an object whose set holds the low-index key only.
    harness::HostObject object;
    object.Low.Value = 1.5f;
    object.Answer(true, false);
    const struct {
        bool WithObject;
        std::int32_t Index, Value;
        const char* Label;
    } attributes[] = {{false, 0, 35000, "no object, integer 35000"},
                      {true, 0, 35000, "object with the index-0 attribute 1.5, index 0"},
                      {true, 2, 2500, "same object, index 2 (attribute missing), integer 2500"}};
    for (const auto& attribute : attributes) {
        sim::AttrPass pass{};
        pass.In.Ebp = static_cast<std::uint32_t>(attribute.Index);
        pass.SlotsIn[1] = attribute.WithObject ? object.ObjectAddress() : 0;
        pass.SlotsIn[4] = 0x10101010;
        pass.SlotsIn[5] = static_cast<std::uint32_t>(attribute.Value);
        harness::PassAttributeSite(pass);
        probes.push_back({"attribute value", attribute.Label,
                          FloatText(harness::BitsFloat(pass.TopBits)) + " on the x87 stack, " +
                              std::to_string(pass.LookupCalls) + " lookup call(s)"});
    }
    harness::SetLookupTable({});
    // Autosculpt: the slot at [esp+4].
    sim::SculptPass sculpt{};
    sculpt.InFlags = 0x2;
    sculpt.SlotsIn[1] = 0x11111111;
    harness::PassSculptSite(sculpt);
    probes.push_back({"autosculpt slider", "[esp+4] = 0x11111111",
                      "[esp+4] = " + Hex32(sculpt.SlotsOut[1]) +
                          (sculpt.SlotsOut[1] == zk::kAutosculptSliderValueBits ? " (2.56)" : " (host's own code ran)")});
    return probes;
}

std::string RenderText(const Report& report) {
    std::string out;
    const auto line = [&out](const std::string& text) { out += text + "\n"; };
    line("ZorbelKavrin in the simulated host");
    line("  plugin    " + report.PluginPath);
    line((report.WholeGame ? "  game      " : "  settings  ") + report.SettingsPath);
    line("  work dir  " + report.WorkingDirectory);
    line("");
    line("Build check: AddressOfEntryPoint " + Hex32(report.EntryPoint) +
         (report.Supported ? " (the supported build)" : " (not the supported build)"));
    line(report.Loaded ? "  loaded at " + Hex32(report.ModuleBase) : "  the load FAILED");
    for (const auto& message : report.Messages) {
        std::string text = message.Text;
        for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 3) text.replace(at, 1, " / ");
        line("  message box \"" + message.Caption + "\": " + text);
    }
    line("");
    line(std::string("Settings (") + (report.SettingsFound ? "ZorbelKavrin.ini found" : "no ZorbelKavrin.ini: defaults") + ")");
    const zk::GlobalSettingsRecord& global = report.Global;
    for (const zk::GlobalKey& key : zk::kGlobalKeys) {
        line("  " + std::string(key.Name).append(27 - std::strlen(key.Name), ' ') +
             (key.Switch != nullptr ? std::string(global.*key.Switch ? "on" : "off") : FloatText(global.*key.Number)));
    }
    line("Car entries: " + std::to_string(report.Cars.size()));
    for (const auto& car : report.Cars) {
        line("  " + car.Name + "  key " + Hex32(car.Key) + "  ForceLodA " + (car.ForceLodA ? "on" : "off"));
    }
    line("");
    line("Protection windows: " + std::to_string(report.Windows.size() / 2));
    for (std::size_t i = 0; i < report.Windows.size(); ++i) {
        const auto& call = report.Windows[i];
        if (call.Protection == 0x40 && i + 1 < report.Windows.size() &&
            report.Windows[i + 1].Address == call.Address && report.Windows[i + 1].Size == call.Size) {
            line("  " + Hex32(call.Address) + "  " + std::to_string(call.Size) +
                 " byte(s)  PAGE_EXECUTE_READWRITE, then back to " + ProtectionName(report.Windows[i + 1].Protection));
            ++i;
        } else {
            line("  " + Hex32(call.Address) + "  " + std::to_string(call.Size) + " byte(s)  " +
                 ProtectionName(call.Protection) + (call.Succeeded ? "" : " (failed)"));
        }
    }
    line("");
    line("Host bytes changed: " + std::to_string(report.Changes.size()) + " place(s)");
    for (const auto& change : report.Changes) {
        line("  " + Hex32(change.Address) + "  " + std::to_string(change.After.size()) + "  " +
             HexBytes(change.Before) + " -> " + HexBytes(change.After) + "  " + change.What);
    }
    if (!report.Probes.empty()) {
        line("");
        line("Probe passes through the host's sites:");
        for (const auto& probe : report.Probes) line("  " + probe.Site + ": " + probe.Input + " -> " + probe.Result);
    }
    return out;
}

std::string RenderJson(const Report& report) {
    namespace json = zk::json;
    std::vector<std::string> messages, cars, windows, changes, probes;
    for (const auto& message : report.Messages) {
        messages.push_back(json::Object({{"caption", json::String(message.Caption)},
                                         {"text", json::String(message.Text)},
                                         {"type", json::Hex(message.Type)},
                                         {"owner", json::Hex(static_cast<std::uint32_t>(message.Owner))}}));
    }
    for (const auto& car : report.Cars) {
        cars.push_back(json::Object({{"name", json::String(car.Name)},
                                     {"key", json::Hex(car.Key)},
                                     {"ForceLodA", json::Bool(car.ForceLodA)}}));
    }
    for (const auto& call : report.Windows) {
        windows.push_back(json::Object({{"address", json::Hex(call.Address)},
                                        {"size", json::Integer(call.Size)},
                                        {"protection", json::Hex(call.Protection)},
                                        {"protection_name", json::String(ProtectionName(call.Protection))},
                                        {"succeeded", json::Bool(call.Succeeded)}}));
    }
    for (const auto& change : report.Changes) {
        changes.push_back(json::Object({{"address", json::Hex(change.Address)},
                                        {"width", json::Integer(static_cast<std::int64_t>(change.After.size()))},
                                        {"before", json::String(HexBytes(change.Before))},
                                        {"after", json::String(HexBytes(change.After))},
                                        {"what", json::String(change.What)},
                                        {"expected", json::Bool(change.Expected)}}));
    }
    for (const auto& probe : report.Probes) {
        probes.push_back(json::Object({{"site", json::String(probe.Site)},
                                       {"input", json::String(probe.Input)},
                                       {"result", json::String(probe.Result)}}));
    }
    return json::Object({
               {"plugin", json::String(report.PluginPath)},
               {report.WholeGame ? "game_folder" : "settings_folder", json::String(report.SettingsPath)},
               {"working_directory", json::String(report.WorkingDirectory)},
               {"build_check", json::Object({{"entry_point", json::Hex(report.EntryPoint)},
                                             {"supported", json::Bool(report.Supported)},
                                             {"loaded", json::Bool(report.Loaded)},
                                             {"module_base", report.Loaded ? json::Hex(report.ModuleBase) : json::kNull},
                                             {"messages", json::Array(messages)}})},
               {"settings_found", json::Bool(report.SettingsFound)},
               {"global", json::GlobalSettings(report.Global)},
               {"cars", json::Array(cars)},
               {"protection_windows", json::Array(windows)},
               {"changes", json::Array(changes)},
               {"probes", json::Array(probes)},
           }) +
           "\n";
}

}  // namespace hostsim
