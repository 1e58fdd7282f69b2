#include "tests/support/fake_lists.h"

#include "files/datatypes.h"

namespace zr::test {

FakeList::FakeList(std::initializer_list<std::string> captions)
{
  for (const std::string& c : captions)
    Add(c);
}

void FakeList::Select(std::initializer_list<int> indexes)
{
  for (Item& item : items)
    item.selected = false;
  for (int i : indexes)
    items.at(static_cast<std::size_t>(i)).selected = true;
}

void FakeList::SelectAll()
{
  for (Item& item : items)
    item.selected = true;
}

FakeList InternalFilesList()
{
  FakeList list;
  for (int type = 0; type < DATA_TYPE_COUNT; ++type)
    list.Add(DataTypeTable[type].name, type);
  return list;
}

} // namespace zr::test
