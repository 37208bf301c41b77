// The five browses: the Features browse and the four lookup browses, each the
// browse engine with a design of its own.
#pragma once

#include "app/browse/browse.h"
#include "ui/task.h"

namespace mirabo::app {

// Control numbers shared by the browse windows.
enum BrowseControl : int {
  kBrowseList = 1,
  kBrowseSheet = 2,
  kBrowseLocatorPrompt = 8,
  kBrowseLocator = 9,
  kBrowseSelectSupplier = 10,
  kBrowseSelectReview = 11,
  kBrowseSelectCategory = 12,
  kBrowseSelectIssue = 13,
  kBrowseInsert = 14,
  kBrowseChange = 15,
  kBrowseDelete = 16,
  kBrowseClose = 17,
  kBrowseHelp = 18,
  kBrowsePublish = 19,
  kBrowseSelect = 20,
  kBrowseFirstTab = 3,  // tabs 3 to 7
};

const BrowseDesign& FeaturesBrowseDesign();
const BrowseDesign& SupplierBrowseDesign();
const BrowseDesign& ReviewBrowseDesign();
const BrowseDesign& CategoryBrowseDesign();
const BrowseDesign& IssuesBrowseDesign();

ui::Proc BrowseFEATURES();
ui::Proc BrowseSupplier();
ui::Proc BrowseReview();
ui::Proc BrowseCategory();
ui::Proc BrowseISSUES();

// Registers the five browses by name.
void RegisterBrowses();

}  // namespace mirabo::app
