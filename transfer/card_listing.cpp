// The card listing: the card list is emptied and read again one data type at
// a time, 0 to 8, each reply asking for the next type.
#include "transfer/batch.h"
#include "transfer/datatypes.h"

namespace zr {

void Batch::RequestCardDirectory(int type)
{
  if (type == -1) {
    session_.host.CardListClear();
    type = 0;
  }
  session_.RequestTypeDirectory(session_.link.CommMedium, type);
}

void Batch::CardDirectoryReply(int type, const std::vector<std::string>& names, bool sortAfterEveryReply)
{
  session_.timers.UploadTimer.Stop();
  session_.host.CardListAdd(type, names);
  if (type < DATA_TYPE_COUNT - 1)
    RequestCardDirectory(type + 1);
  if (sortAfterEveryReply || type == DATA_TYPE_COUNT - 1)
    session_.host.CardListSort();
}

} // namespace zr
