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
