#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tmainform/controlstates.h"

using namespace tarvik;

namespace {

// Every state by a short name, so a row lists only what it is about.
std::map<std::string, bool> Flatten(const MainFormStates& s)
{
    std::map<std::string, bool> m;
    auto both = [&m](const std::string& n, const ControlState& c) {
        m[n + ".on"] = c.enabled;
        m[n + ".shown"] = c.visible;
    };
    m["monitorFunction"] = s.monitorFunction;
    both("portOpen", s.portOpen);
    both("portClose", s.portClose);
    both("systemConfig", s.systemConfig);
    both("onBus", s.onBus);
    both("offBus", s.offBus);
    both("copy", s.copy);
    both("save", s.save);
    both("clear", s.clear);
    both("pause", s.pause);
    both("conti", s.conti);
    both("sendWindow", s.sendWindow);
    both("graphWindow", s.graphWindow);
    both("linMasterSend", s.linMasterSend);
    both("linSlaveStart", s.linSlaveStart);
    both("linSlaveStop", s.linSlaveStop);
    m["maskGroups"] = s.maskGroups;
    m["stdMaskFields"] = s.stdMaskFields;
    m["extMaskFields"] = s.extMaskFields;
    m["linGroup"] = s.linGroup;
    m["linUseSend"] = s.linUseSend;
    m["linMaster"] = s.linMaster;
    m["linFields"] = s.linFields;
    m["busSpeed"] = s.busSpeed;
    m["transmit"] = s.transmitEnabled;
    return m;
}

struct Row {
    const char* name;
    MainFormFacts facts;
    std::vector<std::pair<std::string, bool>> expect;
};

}  // namespace

TEST(ControlStates, Table)
{
    const std::vector<Row> rows = {
        {"port closed",
         {},
         {{"monitorFunction", true}, {"portOpen.shown", true}, {"portClose.shown", false}, {"systemConfig.on", true},
          {"onBus.shown", true}, {"offBus.shown", false}, {"maskGroups", true}, {"busSpeed", true},
          {"transmit", false}, {"linGroup", false}}},
        {"port open: mode and configuration locked",
         {.portOpen = true},
         {{"monitorFunction", false}, {"portOpen.shown", false}, {"portClose.shown", true},
          {"systemConfig.on", false}, {"maskGroups", true}}},
        {"on bus: masks and speed locked, transmit allowed",
         {.portOpen = true, .onBus = true, .stdMaskChecked = true},
         {{"onBus.shown", false}, {"offBus.shown", true}, {"maskGroups", false}, {"stdMaskFields", false},
          {"busSpeed", false}, {"transmit", true}}},
        {"mask fields follow their own box",
         {.stdMaskChecked = true},
         {{"stdMaskFields", true}, {"extMaskFields", false}}},
        {"monitor text on bus: copy and save take a snapshot",
         {.portOpen = true, .onBus = true, .hasLines = true},
         {{"copy.on", true}, {"save.on", true}, {"clear.on", true}}},
        {"monitor text, paused on bus",
         {.portOpen = true, .onBus = true, .hasLines = true, .paused = true, .monitorShown = true},
         {{"copy.on", true}, {"save.on", true}}},
        {"monitor text, port closed",
         {.hasLines = true},
         {{"copy.on", true}, {"save.on", true}, {"clear.on", true}}},
        {"empty monitor",
         {},
         {{"copy.on", false}, {"save.on", false}, {"clear.on", false}}},
        {"paused: continue replaces pause",
         {.paused = true, .monitorShown = true},
         {{"pause.shown", false}, {"conti.shown", true}, {"conti.on", true}}},
        {"no monitor shown: pause and continue off",
         {},
         {{"pause.on", false}, {"pause.shown", true}, {"conti.on", false}, {"conti.shown", false}}},
        {"normal driver mode: send and graph windows allowed",
         {.canSendEnabled = true, .graphEnabled = true},
         {{"sendWindow.on", true}, {"graphWindow.on", true}}},
        {"silent driver mode: no send window",
         {.canSendEnabled = true, .driverMode = 1, .graphEnabled = true},
         {{"sendWindow.on", false}, {"graphWindow.on", true}}},
        {"send and graph switched off in the settings",
         {.canSendEnabled = false, .graphEnabled = false},
         {{"sendWindow.on", false}, {"graphWindow.on", false}}},
        {"LIN: CAN windows and masks off",
         {.canMode = false, .canSendEnabled = true, .graphEnabled = true},
         {{"sendWindow.on", false}, {"graphWindow.on", false}, {"maskGroups", false}, {"linGroup", true},
          {"linUseSend", true}}},
        {"LIN slave, port closed",
         {.canMode = false, .canSendEnabled = true, .graphEnabled = true},
         {{"linSlaveStart.shown", true}, {"linSlaveStart.on", false}, {"linMasterSend.shown", false}}},
        {"LIN slave, port open",
         {.portOpen = true, .canMode = false},
         {{"linSlaveStart.on", true}, {"linSlaveStop.on", true}, {"linMasterSend.shown", false}}},
        {"LIN master, port open",
         {.portOpen = true, .canMode = false, .linMaster = true},
         {{"linMasterSend.on", true}, {"linMasterSend.shown", true}, {"linSlaveStart.shown", false},
          {"linSlaveStop.shown", false}}},
        {"LIN without send message: every send off, node locked",
         {.portOpen = true, .canMode = false, .linUseSend = false, .linMaster = true},
         {{"linMasterSend.on", false}, {"linMasterSend.shown", true}, {"linFields", false}, {"linMaster", false}}},
        {"LIN on bus: send box and node locked, master still sends",
         {.portOpen = true, .onBus = true, .canMode = false, .linMaster = true},
         {{"linUseSend", false}, {"linMaster", false}, {"linMasterSend.on", true}, {"linFields", true}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto states = Flatten(ComputeControlStates(row.facts));
        for (const auto& [key, want] : row.expect) {
            const auto it = states.find(key);
            ASSERT_NE(it, states.end()) << key;
            EXPECT_EQ(it->second, want) << key;
        }
    }
}

TEST(ControlStates, LampByBusState)
{
    struct {
        bool onBus;
        int status;
        QColor want;
    } const rows[] = {
        {false, 0, QColor(255, 0, 0)},    // off bus is red whatever the last state
        {true, 0, QColor(0, 255, 0)},     // error active
        {true, 1, QColor(255, 255, 0)},   // warning
        {true, 2, QColor(255, 0, 0)},     // passive
        {true, 3, QColor(0, 0, 0)},       // bus off
        {true, -1, QColor(0, 0, 0)},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(LampColorFor(r.onBus, r.status), r.want) << r.onBus << " " << r.status;
        MainFormFacts f;
        f.onBus = r.onBus;
        f.busStatus = r.status;
        EXPECT_EQ(ComputeControlStates(f).lamp, r.want);
    }
}
