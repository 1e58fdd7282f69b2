// The transfer record `Filer`: one file on its way between the PC and the
// console, with the operations that load, store, receive and send it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "link/link_context.h"

namespace zr {

class Session;

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

class Filer {
public:
  explicit Filer(Session& session);
  Filer(const Filer&) = delete;
  Filer& operator=(const Filer&) = delete;

  std::int32_t DataType = 0;
  std::int32_t Medium = 0;
  std::string PcPath; // at most PC_PATH_SIZE - 1 characters
  std::unique_ptr<std::uint8_t[]> Buffer;
  std::uint32_t Size = 0;
  std::uint32_t BlockNr = 0;
  std::int32_t Error = 0;
  // Total number of blocks announced by block 0 of the file being received.
  std::uint32_t TotalBlocks = 0;
  // Stream bytes that arrived, known once the last block is in.
  std::uint32_t ReceivedBytes = 0;
  // Payload bytes the last block must carry, from block 0's size field.
  std::uint32_t LastBlockBytes = 0;
  // Receiving: a file (or the link test) has been asked for and its next
  // block is awaited; any other data block is stray and touches nothing.
  bool Expecting = false;
  // Sending: the file in Buffer has been offered to the console, which may
  // ask for any of its blocks again; and its end-of-file step has run.
  bool Offered = false;
  bool EndOfFileDone = false;
  // What the last failure of this record said on the status line, and its
  // error code (0 when it was no error of the record's own, such as a link
  // that was not ready).
  std::string LastFailure;
  std::int32_t LastError = 0;
  // A backup path that ends in another kind's extension.
  bool WrongExtension = false;
  // A backup: the file at PcPath was there when the user (or the caller)
  // chose to write over it; a file that appears later is asked about.
  bool ReplaceAgreed = false;

  void AllocBuffer();
  void FreeBuffer();
  // PcPath := folder + separator + name + "." + extension of DataType.
  void BuildPcPath(const std::string& folder, const std::string& name);

  void LoadData();
  void StoreData();
  void RequestCurrentBlock();

  // Receiving (RxTransfer). payload holds count bytes followed by the
  // block's checksum byte.
  void ReceiveBlock(unsigned total, const std::uint8_t* payload, std::size_t count);
  void UnpackReceived();
  // The end of a received file, saved or failed: the batch moves on to its
  // next file, or ends. fileNrBefore: FileNr before the file was saved.
  void EndReceivedFile(bool saved, int fileNrBefore);
  void WritePcFile();

  // Sending (TxTransfer).
  void ReadPcFile();
  void SendBlock();

  // Receiving: the payload length that block `BlockNr` of `total` must
  // have, or 0 when no length fits (a one-block file not in whole groups).
  std::uint32_t ExpectedBlockBytes(unsigned total, std::size_t count) const;

  // Shows "File error: %s" for Error and clears it. outgoing is 1 for
  // TxTransfer, 0 for RxTransfer.
  void ReportError(int outgoing);
  // The text that ReportError shows (without "File error: ").
  std::string ErrorText(int outgoing) const;

private:
  // The steps of ReceiveBlock (receive.cpp).
  void ShowReceiveProgress(unsigned total);
  bool ChecksumFails(const std::uint8_t* payload, std::size_t count);
  void AnswerLinkTest(bool damaged);
  // A block to ask for again: a wrong checksum or length. Block 0 also
  // checks its size field against the blocks announced (Error when it fails).
  bool BlockDamaged(unsigned total, const std::uint8_t* payload, std::size_t count);
  void StoreReceivedBlock(unsigned total, const std::uint8_t* payload, std::size_t count);
  // After the last block of a file went out: the next file, or the batch's end.
  void EndSentFile();
  // The replace question for a received file; a No skips the file (the
  // batch hears so and moves on). True for Yes.
  bool MayReplace(const std::string& fileName, std::uint64_t existingSize);
  // The file of this record failed: the batch hears why.
  void ReportFailed();
  // "Please press enter on your mixer to save the update."
  void NoticeOsUpdate();

  Session& session_;
};

} // namespace zr
