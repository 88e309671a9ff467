#pragma once
// The serial numbers this running copy gave itself from a file ("Last SN" of the settings store,
// "Serial No" of an INI file), kept as the number after the last one, by the file's name.
// Numbers only go up except by an operator's word. A file found after another copy wrote over
// this copy's view that holds a lower number (another copy's operator set one, or it was made
// anew without the numbers; this copy cannot tell the two apart) would give numbers this copy
// gave: this copy gives none from it until its own operator sets one, or the number passes this
// copy's numbers again. A number given back goes below them without any such doubt.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

class OwnNumbers {
public:
    // True while a take from stored is withheld: it could give a number this copy gave.
    bool withholds(const std::string& file, uint32_t stored) const;
    // The file was found holding stored after another copy wrote over this copy's view of it.
    void overtaken(const std::string& file, uint32_t stored);
    // The file holds next after this copy's take, or its operator set next.
    void reached(const std::string& file, uint32_t next);
    // True while taken, this copy's last number, may go back: no other copy wrote the file since
    // (one whose operator set a lower number may have given it again).
    bool mayGiveBack(const std::string& file, uint32_t taken) const;
    // This copy gave back taken, its last number, which no part got.
    void gaveBack(const std::string& file, uint32_t taken);

private:
    struct Numbers {
        uint32_t next = 0;
        bool withheld = false;
        bool overtaken = false;  // another copy wrote the file since this copy's take
    };
    mutable std::mutex lock_;
    std::map<std::string, Numbers> byFile_;
};
