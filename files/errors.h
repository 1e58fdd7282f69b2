// The error codes of a transfer step, and the longest PC path a transfer
// record holds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zr {

// How often one block is asked for before the file is given up: a console
// that pads its blocks, or an interface that drops a byte every time, must
// not keep a batch busy forever.
constexpr int MAX_BLOCK_TRIES = 5;

// Error codes of a transfer step (0 none).
enum FilerError : std::int32_t {
  ERR_NONE = 0,
  ERR_NO_FILE = 1,         // no file loaded / to save / to send; file not sent
  ERR_MEMORY = 2,          // memory full
  ERR_BAD_MEDIUM = 3,      // Medium outside 0 to 3
  ERR_DISK_FULL = 4,       // a PC file could not be written or read whole
  ERR_WRITE_PROTECTED = 5, // raised nowhere, kept for its text
  ERR_ILLEGAL_DATA = 6,    // wrong type asked for, corrupt or inconsistent data
  ERR_PATH_TOO_LONG = 7,   // a PC path longer than PcPath holds
  ERR_FILE_TOO_LARGE = 8,  // a file that needs 16384 blocks or more
  ERR_UNKNOWN_TYPE = 9,    // a name without one of the nine extensions
  ERR_NO_FOLDER = 10,      // no PC folder selected
  ERR_NO_CARD_NAME = 11,   // nothing left of the name for the card (".kpr")
  ERR_NOT_WRITABLE = 12,   // the PC folder takes no new file (permissions, read-only)
  ERR_EMPTY_FILE = 13,     // a received file whose size field says 0 bytes
  ERR_NAME_IS_FOLDER = 14, // a folder has the name the file should get
  ERR_FILE_EXISTS = 15,    // a file appeared under the name after the question
  ERR_FILE_IN_USE = 16,    // another program holds the file open (Windows)
  ERR_ACCESS_DENIED = 17,  // the file itself refuses to be replaced (read-only, permissions)
  ERR_WRITE_FAILED = 18,   // any other failure of the system while writing
  ERR_BLOCK_DAMAGED = 19,  // one block came damaged MAX_BLOCK_TRIES times
};

// Longest PC path a record holds, terminating zero included: the system's
// own limit. Windows takes 32767 UTF-16 units through the "\\?\" form that
// the disk unit uses; the room kept below that is for the prefix and for a
// temporary name longer than the target's. A UTF-8 byte never stands for
// fewer UTF-16 units than one, so counting bytes errs on the safe side.
#if defined(_WIN32)
constexpr std::size_t PC_PATH_SIZE = 32000;
#else
constexpr std::size_t PC_PATH_SIZE = 4096;
#endif

} // namespace zr
