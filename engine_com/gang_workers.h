#pragma once
// The gang board's worker tasks for chip modes 2 to 13. Each runs on the thread its starter
// created, talks to the page only through WorkerPage, opens the COM port for its run, closes it
// at its end and clears g_bTaskWorking as its last step on every path.
class WorkerPage;

// Scans the four sockets, erases every target, checks chip ids, programs the image into all at
// once, compares each on the target, writes its option block with the next serial number, and
// counts and stores the results.
void GangProgramThread(WorkerPage& page);
// Scans the four sockets and compares each target's flash with the image on the target;
// changes nothing on the targets and stores neither counters nor serial numbers.
void GangVerifyThread(WorkerPage& page);
