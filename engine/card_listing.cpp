// The card listing: the card list is emptied and read again one data type at
// a time, 0 to 8, each reply asking for the next type. The batch keeps what
// the replies brought, for the replace question and for whoever asks.
#include <algorithm>

#include "engine/batch.h"
#include "files/datatypes.h"

namespace zr {

namespace {
// A console that floods the line with names must not flood the memory.
constexpr std::size_t CARD_LIST_LIMIT = 100000;

std::string CardKey(int type, const std::string& name)
{
  return std::to_string(type) + ':' + name;
}
} // namespace

void Batch::RequestCardDirectory(int type)
{
  if (type == -1) {
    session_.view.CardListCleared();
    cardFiles_.clear();
    cardKeys_.clear();
    cardListed_ = false;
    type = 0;
  }
  awaitedType_ = type;
  if (!running_)
    Enter(Stage::Listing);
  session_.RequestTypeDirectory(session_.link.CommMedium, type);
}

void Batch::CardDirectoryReply(int type, const std::vector<std::string>& names, bool sortAfterEveryReply)
{
  awaitedType_ = -1;
  session_.timers.UploadTimer.Stop();
  std::vector<std::string> added;
  for (const std::string& name : names) {
    if (cardFiles_.size() >= CARD_LIST_LIMIT) {
      session_.ShowStatus({TextId::CardListCut});
      break;
    }
    if (cardKeys_.insert(CardKey(type, name)).second) {
      cardFiles_.push_back({type, name});
      added.push_back(name);
    }
  }
  session_.view.CardListAdded(type, added);
  if (type < DATA_TYPE_COUNT - 1)
    RequestCardDirectory(type + 1);
  else
    cardListed_ = true;
  if (awaitedType_ < 0 && stage_ == Stage::Listing)
    Enter(Stage::Idle);
  if (sortAfterEveryReply || type == DATA_TYPE_COUNT - 1) {
    std::stable_sort(cardFiles_.begin(), cardFiles_.end(),
                     [](const CardFileRef& a, const CardFileRef& b) { return CardNameLess(a.name, b.name); });
    session_.view.CardListSorted();
  }
}

} // namespace zr
