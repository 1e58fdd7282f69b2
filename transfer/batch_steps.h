// What the engine asks of the batch that owns the transfers under way: how
// many files it holds, the step to its next file, and the card listing
// (types 0 to 8, one directory request each). `Batch` implements it; the
// engine never goes through the window for these.
#pragma once

#include <string>
#include <vector>

namespace zr {

class BatchSteps {
public:
  virtual ~BatchSteps() = default;
  // Files in the current receive batch.
  virtual int CardSelectedCount() = 0;
  // Files in the current send batch.
  virtual int PcSelectedCount() = 0;
  // The next file of a download (after list item `index`) or of an upload.
  virtual void RequestNextCardFile(int index) = 0;
  virtual void SendNextPcFile(int index) = 0;
  // Empties and re-reads the card list (-1), or asks for one data type.
  virtual void RequestCardDirectory(int type) = 0;
  // A directory reply for one type (names trimmed). sortAfterEveryReply
  // tells whether this link sorts after every reply (MIDI) or after type 8
  // only (serial).
  virtual void CardDirectoryReply(int type, const std::vector<std::string>& names,
                                  bool sortAfterEveryReply) = 0;
  // A file of the batch failed (the reason is on the status line already);
  // the batch counts it and goes on with its next file.
  virtual void FileFailed(const std::string& fileName, const std::string& reason) = 0;
  // The engine has ended the batch after its last file (progress closed,
  // status written): the batch adds what failed and lets the window go.
  virtual void BatchDone() = 0;
  // Whether a batch runs (started, not yet ended).
  virtual bool Running() const { return false; }
};

} // namespace zr
