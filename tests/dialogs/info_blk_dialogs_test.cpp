#include <QLabel>
#include <QTimer>

#include <algorithm>

#include "controls/grid_box.h"
#include "dialogs/info_blk2_dlg.h"
#include "dialogs/info_blk_dlg.h"
#include "res/info_block_templates.h"
#include "tool_bench.h"

using namespace res;

namespace {

constexpr uint32_t kInfo = 0x1FF00000;
constexpr uint32_t kArea = 0x1FF00600;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + 13 * i);
    return bytes;
}

class InfoBlockTools : public ToolBench {};

}  // namespace

// The page works on the site chosen in its combo: Read shows that target's area, Write puts the
// edited grid there, Save and Load carry the grid through a ".data" file.
TEST_F(InfoBlockTools, ParameterPageReadsWritesSavesAndLoads) {
    const auto area = Pattern(512, 0x21);
    adapter.site(2).write(kArea, area);
    CInfoBlk2Dlg page;
    const auto gridBytes = [&] { return std::vector<uint8_t>(page.grid().m_byData.begin(), page.grid().m_byData.end()); };
    Choose(page.controls(), kIdcSocketCombo, 2);
    clickAndWait(page, kIdcOpenDebug);
    EXPECT_TRUE(adapter.site(2).connected());
    clickAndWait(page, kIdcRead);
    EXPECT_EQ(gridBytes(), area);

    const std::string saved = folder.file("area.data");
    services.chosenFile = saved;
    page.OnSaveData();
    const std::string text = folder.read("area.data");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 128);

    page.grid().m_byData.fill(0x00);
    page.grid().m_byData[4] = 0x5A;
    adapter.site(2).write(kArea, std::vector<uint8_t>(512, 0xFF));
    clickAndWait(page, kIdcWrite);
    EXPECT_EQ(adapter.site(2).word(kArea + 4), 0x5Au);
    EXPECT_EQ(adapter.site(2).word(kArea + 8), 0u);

    page.OnLoadData();
    EXPECT_EQ(gridBytes(), area);

    services.chosenFile = folder.file("none/area.data");
    page.OnSaveData();
    page.OnLoadData();
    EXPECT_EQ(takeMessages(), (Texts{"File could not be created !\r\n" + services.chosenFile, "File could not be opened !"}));
    EXPECT_EQ(gridBytes(), area);
}

// While any task runs the page's buttons send nothing; without an adapter they say so.
TEST_F(InfoBlockTools, AdapterButtonsRefuseWhileBusyOrWithoutAdapter) {
    CInfoBlk2Dlg page;
    CinfoBlkDlg dialog;
    g_bTaskWorking = true;
    for (int id : {kIdcRead, kIdcWrite, kIdcEraseInfo, kIdcOpenDebug}) Click(page.controls(), id);
    for (int id : {kIdcRead, kIdcWrite, kIdcEraseInfo, kIdcCopySecurity, kIdcOpenDebugBlk}) Click(dialog.controls(), id);
    EXPECT_TRUE(adapter.exchanges().empty());
    EXPECT_TRUE(takeMessages().empty());
    g_bTaskWorking = false;

    adapter.unplug();
    page.OnRead();
    dialog.OnErase();
    EXPECT_FALSE(g_bTaskWorking);
    EXPECT_EQ(takeMessages(), (Texts{"HID device Not Found !", "HID device Not Found !"}));
}

// "Erase Finish ..." shows for two seconds after an erase that kept the security words, and
// never after one that could not; Close waits for the worker.
TEST_F(InfoBlockTools, InformationBlockEraseFinishAndClose) {
    adapter.site(0).write(kInfo, Pattern(2048, 0x40));
    CinfoBlkDlg dialog;
    dialog.show();
    Choose(dialog.controls(), kIdcPageCombo, 1);
    clickAndWait(dialog, kIdcOpenDebugBlk);

    clickAndWait(dialog, kIdcRead);
    EXPECT_EQ(dialog.grid().m_dwData[0], adapter.site(0).word(0x1FF00400));
    clickAndWait(dialog, kIdcEraseInfo);
    auto* finish = dialog.controls().control<QLabel>(kIdcEraseFinish);
    EXPECT_TRUE(finish->isVisible());
    EXPECT_EQ(adapter.site(0).read(0x1FF00400, 128), adapter.site(0).read(kInfo, 128));
    EXPECT_TRUE(SpinUntil([&] { return !finish->isVisible(); }));

    adapter.failGetAt(adapter.getCount() + 1);
    clickAndWait(dialog, kIdcEraseInfo);
    EXPECT_EQ(takeMessages(), Texts{"Can not read the security words, page not erased!"});
    QCoreApplication::processEvents();
    EXPECT_FALSE(finish->isVisible());

    // Slow transfers keep the worker busy long enough to try closing under it.
    adapter.setTransferLatency(std::chrono::microseconds(300));
    dialog.OnRead();
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_TRUE(SpinUntil([&] { return !dialog.workerRunning(); }));
    dialog.reject();
    EXPECT_FALSE(dialog.isVisible());
}
