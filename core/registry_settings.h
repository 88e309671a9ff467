#pragma once
// One load and one save per stored setting. A load applies the value's accepted range and
// default and never fails; a save writes at once, and one that fails leaves the stored value as it
// was and says why (CountsSave), for the operator to be told. A setting
// (any value but "Last SN" and the counters) is saved over whatever the store holds, also in a
// copy whose view of the store another copy overtook: the last writer's setting stands, and the
// store's numbers and counts stay as they are (platform::StaleWrite::Setting).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/counters.h"
#include "core/serial_take.h"

// Loads that store into their global themselves, and the saves that write that global.
void RegLoadEncry();
CountsSave RegSaveEncry();
void RegLoadCodeOption();
CountsSave RegSaveCodeOption();
void RegLoadComPort();
CountsSave RegSaveComPort();
void RegLoadBaudRate();
CountsSave RegSaveBaudRate();
void RegLoadIspIcType();
CountsSave RegSaveIspIcType();
void RegLoadIspStartAddr();
CountsSave RegSaveIspStartAddr();

// Loads that return the value; saves that take it.
uint32_t RegLoadScanDelay();
CountsSave RegSaveScanDelay(uint32_t count);
uint32_t RegLoadRdpLevel();
CountsSave RegSaveRdpLevel(uint32_t flag);
uint32_t RegLoadPcropType();
CountsSave RegSavePcropType(uint32_t type);
uint32_t RegLoadProtectAddr();
CountsSave RegSaveProtectAddr(uint32_t address);
uint32_t RegLoadBurnLimitEn();
CountsSave RegSaveBurnLimitEn(uint32_t flag);
uint32_t RegLoadLimitQuantity();
CountsSave RegSaveLimitQuantity(uint32_t quantity);
uint32_t RegLoadSnInArea();
CountsSave RegSaveSnInArea(uint32_t location);
uint32_t RegLoadTotalCount();
CountsSave RegSaveTotalCount(uint32_t count);
uint32_t RegLoadPassCount();
CountsSave RegSavePassCount(uint32_t count);
uint32_t RegLoadFailCount();
CountsSave RegSaveFailCount(uint32_t count);
uint32_t RegLoadSerialNoEn();
CountsSave RegSaveSerialNoEn(uint32_t flag);
uint32_t RegLoadSnStartAddr();
CountsSave RegSaveSnStartAddr(uint32_t address);
uint32_t RegLoadLastSn();
CountsSave RegSaveLastSn(uint32_t serial);
// Brings g_nLastSerial to the number the next part gets from "Last SN" as the store holds it
// now (which another running copy may have moved on since this one last took a number; its
// default when the store holds none), and gives it: what a dialog or label shows. g_nLastSerial
// stays as it is while no part can get one: the store cannot be read, holds "Last SN" in a
// form it cannot read, or below the numbers this copy gave (see RegTakeLastSn).
uint32_t RegFollowLastSn();
uint32_t RegLoadSerialNoAutoInc();
CountsSave RegSaveSerialNoAutoInc(uint32_t flag);

// Read-modify-write steps on the stored values under the store's lock, so that two running
// copies of the program sharing one store never hand out one serial number twice or lose a count.
// Takes count serial numbers from "Last SN" (as its load reads it) and gives the first: the
// store moves on by count in the same step (0: the number that all parts share; 1: a part's own;
// more: a range for an adapter that numbers its parts itself). g_nLastSerial becomes the store's
// value after the step. Numbers end at kLastSnEnd - 1: kLastSnEnd reads as an erased word, and
// one more would give the numbers from 0 again; a take that would reach past the end is refused
// (UsedUp) and the store left as it is. Nothing also when the store cannot be locked, read or
// written, or holds "Last SN" in a form it cannot read (NotSaved; LockNotOpened when its lock file
// cannot be opened at all; OutOfDate when this copy's view of the store is out of date, see
// platform::registryWrite): a number that the store does not keep as given, or one counted on
// from the default, would be given again. Nor while "Last SN", found after another copy wrote
// over this copy's view of the store, stands below the number after the last one this copy took
// (HeldBack: another copy's operator set a lower one, or the store was made anew without it):
// until this copy's operator sets one (RegSaveLastSn), or other copies' takes pass this copy's
// numbers, it could give numbers this copy gave. why, when given, receives the reason.
constexpr uint32_t kLastSnEnd = 0xFFFFFFFF;
std::optional<uint32_t> RegTakeLastSn(uint32_t count, TakeRefusal* why = nullptr);
// Gives back a number taken with count 1 that never reached a part: the store steps back to it
// only while no other number was taken since and no other copy wrote the store since (one whose
// operator set a lower number may have given this one again), so nothing is ever issued twice.
void RegReturnLastSn(uint32_t taken);
// Adds pass and fail parts to "Pass Count" and "Fail Count", "Total Count" their sum, in one
// write; stored receives the three values written. Nothing is written when the store cannot be
// written or holds either count in a form it cannot read, and the result says which.
CountsSave RegAddCounts(uint32_t pass, uint32_t fail, Counts& stored);
// "Total Count", "Pass Count" and "Fail Count" in one write; StoreNotWritten (LockNotOpened when
// the store's lock file cannot be opened) when the store cannot be written, and then nothing is.
CountsSave RegSaveCounts(uint32_t total, uint32_t pass, uint32_t fail);

uint16_t RegLoadProtectArea();
CountsSave RegSaveProtectArea(uint16_t mask);
uint32_t RegLoadInfoEn();
CountsSave RegSaveInfoEn(uint32_t flag);
uint32_t RegLoadIspBootDataEn();
CountsSave RegSaveIspBootDataEn(uint32_t flag);
uint16_t RegLoadVid();
CountsSave RegSaveVid(uint16_t vid);
uint16_t RegLoadPid();
CountsSave RegSavePid(uint16_t pid);
uint32_t RegLoadPll();
CountsSave RegSavePll(uint32_t pll);
uint32_t RegLoadSnEn();
CountsSave RegSaveSnEn(uint32_t flag);
uint16_t RegLoadSn1();
CountsSave RegSaveSn1(uint16_t value);
uint16_t RegLoadSn2();
CountsSave RegSaveSn2(uint16_t value);
uint16_t RegLoadSn3();
CountsSave RegSaveSn3(uint16_t value);
uint16_t RegLoadBootPinCfg();
CountsSave RegSaveBootPinCfg(uint16_t value);
uint16_t RegLoadUartIspCfg();
CountsSave RegSaveUartIspCfg(uint16_t value);
uint32_t RegLoadVidPidEn();
CountsSave RegSaveVidPidEn(uint32_t flag);
uint32_t RegLoadPllEn();
CountsSave RegSavePllEn(uint32_t flag);
std::string RegLoadParameterFile();
void RegSaveParameterFile(const std::string& name);
uint32_t RegLoadParaEn();
CountsSave RegSaveParaEn(uint32_t flag);

// Settings that no page fills, read by the gang runs: the stored value of that name (after
// its load rule) when one is stored and in range, else fallback, the setting's default (never
// what an earlier load gave: a value removed from the store gives its default again). "Key
// Bytes" are taken only as 16 bytes; false, and key left as it is, when none are stored.
uint32_t RegLoadIfStored(std::string_view name, uint32_t fallback);
bool RegLoadKeyBytes(std::span<uint8_t, 16> key);

// The key under which every setting is stored.
extern const char g_szRegKey[];
