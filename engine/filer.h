// The transfer record `Filer`: one file on its way between the PC and the
// console, with the operations that load, store, receive and send it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/link_context.h"
#include "files/errors.h"
#include "engine/events.h"

namespace zr {

class SessionCore;

// What a receiver wants after a block of a file: the next block, the same
// block again (it came damaged), nothing more (the file is complete in
// Buffer, unpacked: Size bytes), or nothing ever (the file failed: Error,
// LastFailure and LastError say why). Ignore: the block was for a file
// already given up (Cancel).
struct ReceiveStep {
  enum Kind { Ignore, AskBlock, AskAgain, Complete, Failed };
  Kind kind = Ignore;
  unsigned block = 0; // the block to ask for
};

class Filer {
public:
  explicit Filer(SessionCore& session);
  Filer(const Filer&) = delete;
  Filer& operator=(const Filer&) = delete;

  std::int32_t DataType = 0;
  std::int32_t Medium = 0;
  std::string PcPath; // at most PC_PATH_SIZE - 1 characters
  // Bytes to send instead of reading PcPath (taken by the next ReadPcFile).
  std::shared_ptr<const std::vector<std::uint8_t>> Preloaded;
  std::unique_ptr<std::uint8_t[]> Buffer;
  std::uint32_t Size = 0;
  std::uint32_t BlockNr = 0;
  std::int32_t Error = 0;
  // Total number of blocks announced by block 0 of the file being received.
  std::uint32_t TotalBlocks = 0;
  // The card file's name on the console; empty for a backup or a restore.
  std::string CardName;
  // Sending: a file for the card, not a restore into the console's memory.
  bool ToCard() const { return !CardName.empty(); }
  // Requests for the block awaited that came back damaged, in a row.
  int DamagedTries = 0;
  // A block like one seen lately, asked for again behind a marker: the
  // same bytes then are this file's (two files can be the same).
  std::optional<std::uint64_t> Doubted;
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
  // Sending: the console's go-ahead for the file offered was answered (a
  // restore needs none). Block 0 of a card file goes out on it alone, once:
  // a block 0 the console does not await is a restore into its memory.
  bool GoAhead = false;
  // What the last failure of this record said on the status line, and its
  // error code (0 when it was no error of the record's own, such as a link
  // that was not ready).
  std::string LastFailure;
  std::int32_t LastError = 0;
  // A request of this file could not go out over `link` (null: no port
  // selected), so nothing will answer it: LastFailure says why. False.
  bool RequestNotSent(const Link* link);
  // A backup path that ends in another kind's extension.
  bool WrongExtension = false;
  // A backup: the file at PcPath was there when the user (or the caller)
  // chose to write over it; a file that appears later is asked about.
  bool ReplaceAgreed = false;

  void AllocBuffer();
  void FreeBuffer();
  // PcPath := folder + separator + name + "." + extension of DataType.
  void BuildPcPath(const std::string& folder, const std::string& name);
  // PcPath := folder + separator + name; Error := 0 or the refusal.
  void SetPcPath(const std::string& folder, const std::string& name);

  void LoadData();
  void StoreData();
  // Asks for block BlockNr of the file being received (block 0 of a card
  // file by its name); false (LastFailure says why) when the request could
  // not go out. Arms nothing.
  [[nodiscard]] bool RequestCurrentBlock();

  // Receiving (RxTransfer): block BlockNr of a file, checked and stored.
  // payload holds count bytes followed by the block's checksum byte. The
  // receiver asks for nothing itself; the caller acts on what it returns.
  ReceiveStep ReceiveBlock(unsigned total, const std::uint8_t* payload, std::size_t count);
  void UnpackReceived();
  // Writes the received file to PcPath (the replace question first when a
  // file is there, and the file waits for its answer), then tells `done`:
  // Saved, or Skipped when the user said No; Failed with Error set when it
  // could not be written; nothing when the batch ended under the question.
  // Starts nothing else.
  using Saved = std::function<void(std::optional<FileOutcome>)>;
  void WritePcFile(const Saved& done);
  // The end of the received file as the batch hears it.
  FileEnd ReceivedFileEnd(FileOutcome outcome) const;
  // Whether a link test block came through undamaged (a status line says
  // so when not).
  bool ChecksumFails(const std::uint8_t* payload, std::size_t count);

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
  // A block to ask for again: a wrong checksum or length. Block 0 also
  // checks its size field against the blocks announced (Error when it fails).
  bool BlockDamaged(unsigned total, const std::uint8_t* payload, std::size_t count);
  ReceiveStep StoreReceivedBlock(unsigned total, const std::uint8_t* payload, std::size_t count);
  // After the last block of a file went out: the next file, or the batch's end.
  void EndSentFile();
  // The replace question for a received file; `then` hears true for Yes.
  void MayReplace(const std::string& fileName, std::uint64_t existingSize, const std::function<void(bool)>& then);
  // The question, then the file written over the one there, or skipped.
  void AskThenWrite(std::uint64_t existingSize, const Saved& done);
  // Buffer to PcPath, over a file there only when `replace`.
  FileOutcome Write(bool replace);
  // "Please press enter on your mixer to save the update."
  void NoticeOsUpdate();

  SessionCore& session_;
};

} // namespace zr
