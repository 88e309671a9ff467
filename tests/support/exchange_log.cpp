#include "exchange_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/strfmt.h"

namespace {

struct Step {
    uint32_t pause;
    uint8_t command;
    uint32_t address;
    std::string rest;  // everything after the address
};

uint32_t WordAt(const std::vector<uint8_t>& r, size_t at) {
    return r[at] | r[at + 1] << 8 | r[at + 2] << 16 | static_cast<uint32_t>(r[at + 3]) << 24;
}

// Hex bytes, a run of four or more equal bytes written as "FF*28".
std::string Hex(const uint8_t* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count;) {
        size_t run = 1;
        while (i + run < count && bytes[i + run] == bytes[i]) ++run;
        if (run >= 4) {
            text += strfmt("%02X*%u", bytes[i], static_cast<unsigned>(run));
            i += run;
        } else {
            text += strfmt("%02X", bytes[i]);
            ++i;
        }
    }
    return text;
}

std::string Answer(uint8_t command, const sim::Exchange& get) {
    if (!get.ok || get.report.size() < 9) return " ? FAILED";
    const auto& r = get.report;
    std::string text = " ?";
    if (command == 0x00 || command == 0x3D) text += strfmt(" %08X", WordAt(r, 1));
    if (command == 0x0E || command == 0x0F) text += " " + std::string(r.begin() + 1, r.begin() + (command == 0x0E ? 5 : 9));
    return text;
}

std::vector<Step> Steps(const std::vector<sim::Exchange>& log) {
    std::vector<Step> steps;
    for (size_t i = 0; i < log.size(); ++i) {
        const sim::Exchange& e = log[i];
        const auto& r = e.report;
        if (e.kind == sim::Exchange::Kind::Get || r.size() < 40) {  // an answer nothing asked for
            steps.push_back({e.pauseMs, 0xFF, 0, " ?"});
            continue;
        }
        Step step{e.pauseMs, r[3], WordAt(r, 4), ""};
        if (step.command == 0x04 || step.command == 0x06) step.rest += strfmt(" %08X", WordAt(r, 8));
        if (step.command == 0x29 || step.command == 0x33) step.rest += " " + Hex(&r[8], 32);
        if (!e.ok) step.rest += " FAILED";
        if (e.refused) step.rest += " REFUSED";
        if (i + 1 < log.size() && log[i + 1].kind == sim::Exchange::Kind::Get) step.rest += Answer(step.command, log[++i]);
        steps.push_back(step);
    }
    return steps;
}

}  // namespace

std::string RenderExchanges(const std::vector<sim::Exchange>& log) {
    const std::vector<Step> steps = Steps(log);
    std::ostringstream text;
    for (size_t i = 0; i < steps.size();) {
        const Step& first = steps[i];
        size_t end = i + 1;
        if (i + 2 < steps.size()) {
            const uint32_t stride = steps[i + 1].address - first.address;
            const auto alike = [&](size_t k) {
                const Step& s = steps[k];
                return s.pause == 0 && s.command == first.command && s.rest == first.rest && stride != 0 &&
                       s.address - steps[k - 1].address == stride;
            };
            while (end < steps.size() && alike(end)) ++end;
            if (end - i < 3) end = i + 1;
        }
        text << strfmt("%4u %02X %08X", first.pause, first.command, first.address);
        if (end > i + 1) {
            const auto stride = static_cast<int32_t>(steps[end - 1].address - steps[end - 2].address);
            text << strfmt("..%08X/%s%X", steps[end - 1].address, stride < 0 ? "-" : "", static_cast<unsigned>(std::abs(stride)));
        }
        text << first.rest << "\n";
        i = end;
    }
    return text.str();
}

void ExpectGolden(const std::string& path, const std::string& text) {
    const std::string file = std::string(QT_TESTCASE_SOURCEDIR) + "/" + path;
    const char* update = std::getenv("SWD_ISP_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        std::ofstream(file, std::ios::binary) << text;
        return;
    }
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << "no golden file " << file;
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(text, expected.str()) << "golden file " << path;
}
