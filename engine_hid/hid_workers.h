#pragma once
// The HID adapter's worker tasks for chip modes 0 and 1. Each runs on the thread its starter
// created, talks to the page only through WorkerPage, and clears g_bTaskWorking as its last
// step on every path (the starter has set it).
class WorkerPage;

// Erases, programs and verifies the page's image on every site with a target, writes serial
// numbers, counts and saves the results and sounds the pass or fail tone.
void SiteProgramThread(WorkerPage& page);
// Compares every site's main flash with the page's image; counts but saves nothing.
void SiteVerifyThread(WorkerPage& page);
// Rewrites the information block of every found target: keeps its first four words, erases
// it, writes them back with the option words and compares the block.
void ProgramInfoBlockThread(WorkerPage& page);

// Further ways of sequencing a four-site burn, which nothing in the program starts. Each runs
// like SiteProgramThread: counts and saves its results and sounds the pass or fail tone.
//
// Site by site: every step for one site before the next.
// The burn as it drives adapters of older firmware, for every adapter, without the prepare.
void SiteProgramThreadOld(WorkerPage& page);
// Keeps the information block's head across the erase; the serial number goes into the image,
// after it, or into the information area's second page.
void SiteProgramSerialThread(WorkerPage& page);
// Also writes and verifies the information words from the protect mask, and the parameter data
// with the serial number in it (or the serial word alone at 0x1FF00600 + address).
void SiteProgramInfoThread(WorkerPage& page);
//
// Scan first: one pass finds the targets, then erase, program and verify each run as one pass
// over the found sites. The image's last page is filled with 0x00. No serial numbers.
// With the information words of the protect address, written and verified after the burn.
void ScanProgramInfoThread(WorkerPage& page);
// The same, powering each site off after each pass; its information verify ends the run at the
// first part that differs.
void ScanProgramInfoThreadB(WorkerPage& page);
// Main flash only, powering each site off after each pass but the verify.
void ScanProgramThread(WorkerPage& page);
// Erases main flash in 64 page erases of 1 KB steps.
void ScanProgramThreadB(WorkerPage& page);
// Erases inside the scan.
void ScanProgramNoEraseThread(WorkerPage& page);
//
// One pass: each site is erased, programmed and verified before the next; the last page's tail
// is 0xFF. No serial numbers.
// Erases main flash in 32 page erases of 2 KB.
void ScanOnePassThread(WorkerPage& page);
// Erases with the chip erase, twice.
void ScanOnePassThreadB(WorkerPage& page);
