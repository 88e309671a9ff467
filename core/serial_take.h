#pragma once
// Why a take of serial numbers ("Last SN" of the settings store, "Serial No" of an INI file)
// gave none, so that each run can tell its operator what happened and how to go on.
enum class TakeRefusal {
    None,           // a number was given
    NotSaved,       // the file cannot be locked, read or written, or keeps the number where it cannot be read
    LockNotOpened,  // the file's lock file cannot be opened at all (platform::lockFileOf names it)
    HeldBack,       // another copy set the number below the numbers this copy gave (OwnNumbers)
    // Another copy wrote the file after this copy's last look, or the version this copy saw has a
    // name elsewhere where another copy may take from it: a number from this copy's view could
    // repeat one given since.
    OutOfDate,
    UsedUp,         // the numbers are used up
};
