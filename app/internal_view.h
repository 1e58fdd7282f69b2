// The "Internal Files" list `InternalView`: the nine kinds of data in the
// console's internal memory, one fixed row each, drawn as label and name.
#pragma once

#include <array>
#include <string>

#include <QTreeWidget>

#include "app/list_drop.h"
#include "app/list_gestures.h"
#include "files/datatypes.h"

namespace zr {

using TypeTexts = std::array<QString, DATA_TYPE_COUNT>;

class InternalListView : public DropTreeWidget, public ListAccess {
  Q_OBJECT
public:
  static constexpr int kColumnWidth = 118;
  static constexpr int kLabelX = 3; // where a row's label starts
  static constexpr int kNameX = 30; // where its type name starts

  // `labels` and `names` are the window's TypeLabels and TypeNames, which
  // the window fills at its first show; until then rows draw nothing.
  InternalListView(const TypeTexts& labels, const TypeTexts& names, QWidget* parent = nullptr);

  // Makes the column wide enough for the longest row in the list's font
  // (never narrower than kColumnWidth); returns the width the list needs
  // to show it whole.
  int FitToRows();

  // Selects every row in turn; one selection only, so the last one stays.
  void SelectAll2Click();

  // ListAccess: item i is data type i.
  int Count() const override { return DATA_TYPE_COUNT; }
  bool IsSelected(int index) const override;
  std::string Caption(int index) const override;
  int ImageIndex(int index) const override { return index >= 0 && index < DATA_TYPE_COUNT ? index : -1; }

private:
  const TypeTexts& names_;
};

} // namespace zr
