#include "support/simulated_gang.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/globals.h"
#include "core/ini_settings.h"
#include "core/registry_key.h"
#include "core/registry_settings.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_steps.h"
#include "engine_com/gang_workers.h"
#include "link/com_reply.h"
#include "link/com_settings.h"
#include "link/serial_port.h"
#include "platform/registry_store.h"
#include "platform/strfmt.h"

namespace {

bool OnlyWakeUpBytes(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes)
        if (b != 0x00 && b != 0xFF) return false;
    return true;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t b : bytes) text += strfmt(text.empty() ? "%02X" : " %02X", b);
    return text;
}

// The board's log as frames from the program, each with what the board sent after it.
struct Exchange {
    std::vector<uint8_t> frame;
    std::vector<std::vector<uint8_t>> replies;
};

std::vector<Exchange> Exchanges(const std::vector<sim::LogEntry>& log) {
    std::vector<Exchange> exchanges;
    std::vector<uint8_t> wakeUp;
    for (const sim::LogEntry& entry : log) {
        if (!entry.fromHost) {
            if (!exchanges.empty()) exchanges.back().replies.push_back(entry.bytes);
            continue;
        }
        if (OnlyWakeUpBytes(entry.bytes)) {
            wakeUp.insert(wakeUp.end(), entry.bytes.begin(), entry.bytes.end());
            continue;
        }
        Exchange exchange;
        exchange.frame = wakeUp;
        exchange.frame.insert(exchange.frame.end(), entry.bytes.begin(), entry.bytes.end());
        wakeUp.clear();
        exchanges.push_back(std::move(exchange));
    }
    // Bytes sent on their own at the end of a run (a link try's 0x00).
    if (!wakeUp.empty()) exchanges.push_back({wakeUp, {}});
    return exchanges;
}

bool IsSpeedFrame(const std::vector<uint8_t>& frame) {
    return frame.size() >= 3 && frame[0] == 0x0F && frame[1] == 0x0E && frame[2] == 0x02;
}

}  // namespace

SimulatedGang::SimulatedGang(GangTime time) {
    InitIniPath();
    EXPECT_TRUE(board.start());
    if (time == GangTime::Board) clock_.emplace(board);
    SetComPortDeviceOverride(board.path());
    g_nChipMode = 2;
    g_nIspStartAddr = 0;
    g_dwWaitMs = 20;
    g_dwOsMajor = 10;
    g_dwOsMinor = 0;
    g_nDelayCount = 0;
    g_bEncry = 1;
    g_bCodeOption = 0;
    g_bOptionSerial = 1;
    g_bGangSerialEnable = 0;
    g_GangSerialFixed = {};
    g_nGangSerial = g_nGangSerialNext = 0;
    g_bKeyWrite = 0;
    g_KeyBytes = g_LoadedKeyBytes = {};
    g_LoadedSerialFixed = {};
    g_bLogSteps = 0;
    g_nComExtraDelay = 0;
    g_bSerialAutoInc = 1;
    g_bSkipBlockErase = 1;
    g_byReplyTag = 0;
    g_bWarnProtect = g_bProtectContinue = g_bWarnCodeOption = g_bCodeOptionContinue = 1;
    g_hStopEvent.reset();
    engine_com::SetGangNotesForTests([this](const std::string& note) {
        {
            std::lock_guard lock(lock_);
            notes_.push_back(note);
        }
        if (onNote) onNote(note);
    });
}

SimulatedGang::~SimulatedGang() {
    engine_com::SetGangNotesForTests({});
    g_pBlockBuf.refuseAllocationsForTests(false);
    g_SerialPort.ClosePort();
    SetComPortDeviceOverride("");
    board.stop();
}

void SimulatedGang::run(void (*worker)(WorkerPage&), const std::vector<uint8_t>& image) {
    {
        std::lock_guard lock(lock_);
        notes_.clear();
    }
    board.clearLog();
    g_bTaskWorking = true;
    bench.run(worker, image);
    awaitBoard();
    if (worker == GangProgramThread || worker == GangVerifyThread) {
        const std::vector<std::string> texts = messages();
        const std::vector<platform::MsgIcon> icons = messageIcons();
        for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(icons[i], platform::MsgIcon::Error) << texts[i];
    }
}

void SimulatedGang::populate(const std::vector<int>& sockets) {
    for (int socket = 0; socket < 4; ++socket) board.removeTarget(socket);
    for (int socket : sockets) board.insertTarget(socket, g_nChipMode);
}

std::vector<std::string> SimulatedGang::notes() const {
    std::lock_guard lock(lock_);
    return notes_;
}

std::vector<std::string> SimulatedGang::messages() const {
    std::vector<std::string> texts;
    for (const auto& m : bench.services.messages()) texts.push_back(m.text);
    texts.insert(texts.end(), bench.page.messages.begin(), bench.page.messages.end());
    return texts;
}

std::vector<platform::MsgIcon> SimulatedGang::messageIcons() const {
    std::vector<platform::MsgIcon> icons;
    for (const auto& m : bench.services.messages()) icons.push_back(m.icon);
    icons.insert(icons.end(), bench.page.messageIcons.begin(), bench.page.messageIcons.end());
    return icons;
}

int SimulatedGang::framesOf(uint8_t lead, uint8_t cmd) const {
    int count = 0;
    for (const sim::LogEntry& entry : board.log()) {
        const auto at = std::ranges::find_if(entry.bytes, [](uint8_t b) { return b != 0x00 && b != 0xFF; });
        count += entry.fromHost && entry.bytes.end() - at >= 2 && at[0] == lead && at[1] == cmd;
    }
    return count;
}

void SimulatedGang::awaitBoard() const {
    if (clock_) clock_->settle();
}

bool SimulatedGang::onlySwitchedOff() const {
    return board.logText() ==
           "> F0 0A 00 00 00 FF\n< AA F0 0A 00 00 FA\n> F0 0B 00 00 00 FF\n< AA F0 0B 00 00 FB\n"
           "> F0 0C 00 00 00 FF\n< AA F0 0C 00 00 FC\n> F0 0D 00 00 00 FF\n< AA F0 0D 00 00 FD\n"
           "> F0 0F 00 00 00 FF\n< AA F0 0F 00 00 FF\n";
}

void SimulatedGang::store(const std::string& name, uint32_t value) {
    CRegistryKey key;
    ASSERT_EQ(key.Open(g_szRegKey), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteDword(name, value), ERROR_SUCCESS);
}

void SimulatedGang::unstore(const std::string& name) {
    const std::string path = platform::registryStorePath();
    std::ifstream in(path, std::ios::binary);
    std::string kept, line;
    while (std::getline(in, line))
        if (line.rfind("\"" + name + "\"=", 0) != 0) kept += line + "\n";
    // A new file in the old one's place, as an editor saves it.
    std::ofstream(path + ".edited", std::ios::binary) << kept;
    ASSERT_EQ(std::rename((path + ".edited").c_str(), path.c_str()), 0);
}

std::array<uint8_t, 16> SimulatedGang::storeKeyBytes() {
    std::array<uint8_t, 16> key;
    for (size_t k = 0; k < key.size(); ++k) key[k] = static_cast<uint8_t>(0xC0 + k);
    CRegistryKey keys;
    EXPECT_EQ(keys.Open(g_szRegKey), ERROR_SUCCESS);
    EXPECT_EQ(keys.WriteBinary("Key Bytes", key), ERROR_SUCCESS);
    return key;
}

std::string SimulatedGang::exchangeLog() const {
    const std::vector<Exchange> exchanges = Exchanges(board.log());
    size_t next = 0;
    uint32_t paused = 0;
    std::string text;
    const auto frameLine = [&](const std::string& head) {
        text += head;
        if (next >= exchanges.size()) {
            text += " > (nothing)\n";
            return;
        }
        const Exchange& e = exchanges[next++];
        text += " > " + Hex(e.frame);
        for (const auto& reply : e.replies) text += " | < " + Hex(reply);
        text += "\n";
    };
    for (const std::string& note : notes()) {
        std::istringstream words(note);
        std::string kind;
        words >> kind;
        if (kind == "pause") {
            uint32_t ms = 0;
            words >> ms;
            paused += ms;
        } else if (kind == "step") {
            std::string tag, wait;
            words >> tag >> wait;
            frameLine(strfmt("%5u %s %4s", paused, tag.c_str(), wait.c_str()));
            paused = 0;
        } else if (kind == "send") {
            std::string tag;
            words >> tag;
            frameLine(strfmt("%5u %s    -", paused, tag.c_str()));
            paused = 0;
        } else if (kind == "timeout") {
            text += "      timed out\n";
        } else if (kind == "speed" && next < exchanges.size() && IsSpeedFrame(exchanges[next].frame)) {
            // The speed change's frame goes out with no step of its own.
            frameLine(strfmt("%5u speed  ", paused));
            paused = 0;
        } else {
            text += strfmt("%5u %s\n", paused, note.c_str());
            paused = 0;
        }
    }
    if (paused) text += strfmt("%5u end\n", paused);
    return text;
}

std::function<void(const std::string&)> At(std::string step, int n, std::function<void()> what) {
    return [step = std::move(step), n, what = std::move(what), seen = 0](const std::string& note) mutable {
        if (note == step && ++seen == n) what();
    };
}

std::function<void(const std::string&)> StopAt(std::string step, int n) {
    return At(std::move(step), n, [] { g_hStopEvent.set(); });
}

std::function<void(const std::string&)> DropHiByteOnceSerialNoIs(SimulatedGang& gang, uint32_t serial) {
    return [&gang, serial, done = false](const std::string& note) mutable {
        if (done || note.rfind(strfmt("step %02X ", engine_com::kTagHiByte), 0) != 0) return;
        if (IniGetSerialNo(g_strIniPath) != serial) return;
        done = true;
        // Every earlier high-byte frame was a step that its reply ended: the board has them all.
        for (uint8_t cmd : {0x08, 0x0C}) gang.board.dropReplyAt(sim::TargetFrame(cmd), gang.framesOf(0x0F, cmd) + 1);
    };
}

bool Holds(const SimulatedGang& gang, int socket, const std::vector<uint8_t>& bytes, size_t at) {
    const auto flash = gang.board.target(socket)->flash;
    return std::equal(bytes.begin(), bytes.end(), flash.begin() + static_cast<ptrdiff_t>(at));
}
