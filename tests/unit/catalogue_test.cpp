// The message catalogues and dialog texts of the three editions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "editions/edition.h"

namespace {

const int kNumbers[] = {1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 21, 22, 23, 24,
                        25, 26, 27, 28, 29};

std::string text(const EditionData& edition, int number) {
  CatalogueMessages messages(edition.catalogue, edition.catalogueCount);
  const char* found = messages.find(number);
  return found != nullptr ? found : "<missing>";
}

int count(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + 1)) {
    ++n;
  }
  return n;
}

TEST(Catalogue, EveryEditionHoldsEveryNumberAndNothingElse) {
  for (const EditionData* edition : kAllEditions) {
    CatalogueMessages messages(edition->catalogue, edition->catalogueCount);
    EXPECT_EQ(edition->catalogueCount, static_cast<int>(std::size(kNumbers))) << edition->name;
    for (int number : kNumbers) {
      const char* found = messages.find(number);
      ASSERT_NE(found, nullptr) << edition->name << " message " << number;
      EXPECT_GT(std::strlen(found), 0u) << edition->name << " message " << number;
      EXPECT_LT(std::strlen(found), 1024u) << edition->name << " message " << number;
    }
  }
}

TEST(Catalogue, BritishDiffersFromNorthAmericanInTenAndTwentyFourOnly) {
  for (int number : kNumbers) {
    const bool differs = text(kEditionUk, number) != text(kEditionNa, number);
    EXPECT_EQ(differs, number == 10 || number == 24) << "message " << number;
  }
  EXPECT_EQ(text(kEditionUk, 10), "*** %s is not a recognised version");
  EXPECT_NE(text(kEditionUk, 24).find("recognised by this patch"), std::string::npos);
  EXPECT_NE(text(kEditionUk, 24).find("British release"), std::string::npos);
}

TEST(Catalogue, LogLinesStartWithFiveBlanksOrStars) {
  for (const EditionData* edition : kAllEditions) {
    for (int number : {9, 11}) {
      const std::string line = text(*edition, number);
      EXPECT_EQ(line.substr(0, 6), "     %") << edition->name << " message " << number;
    }
    for (int number : {8, 10, 15, 16, 21}) {
      EXPECT_EQ(text(*edition, number).substr(0, 4), "*** ")
          << edition->name << " message " << number;
    }
  }
}

TEST(Catalogue, PlaceholdersAreExactlyTheOnesTheCodeFills) {
  for (const EditionData* edition : kAllEditions) {
    for (int number : kNumbers) {
      const std::string t = text(*edition, number);
      const bool withPath = number == 8 || number == 9 || number == 10 || number == 11 ||
                            number == 13 || number == 14 || number == 15 || number == 16 ||
                            number == 21;
      EXPECT_EQ(count(t, "%s"), withPath ? 1 : 0) << edition->name << " message " << number;
      EXPECT_EQ(count(t, "%d"), number == 28 ? 1 : 0) << edition->name << " message " << number;
      EXPECT_EQ(count(t, "%"), withPath || number == 28 ? 1 : 0)
          << edition->name << " message " << number;
    }
  }
}

TEST(Catalogue, GermanTexts) {
  const std::string bilingual = text(kEditionDe, 24);
  EXPECT_EQ(count(bilingual, "\n\n"), 1);
  EXPECT_EQ(count(bilingual, "\n"), 2);
  EXPECT_EQ(bilingual.find('\r'), std::string::npos);
  EXPECT_NE(bilingual.find("gedacht.\n\nThe version"), std::string::npos);
  EXPECT_NE(bilingual.find("German release"), std::string::npos);
  EXPECT_EQ(text(kEditionDe, 28), " (Pass %d)");
  EXPECT_EQ(text(kEditionNa, 28), " (pass %d)");
  EXPECT_EQ(text(kEditionDe, 14), "%s-Update...");
  EXPECT_EQ(text(kEditionDe, 29), "Das Update wurde erfolgreich entfernt.");
  EXPECT_EQ(text(kEditionDe, 13), "Pr\xC3\xBC" "fe %s...");  // UTF-8 here; CP1252 via LoadStringA
}

TEST(Catalogue, NorthAmericanSamples) {
  EXPECT_EQ(text(kEditionNa, 1), "Volume 1 Varnok Patch");
  EXPECT_EQ(text(kEditionNa, 9), "     %s was already up-to-date");
  EXPECT_EQ(text(kEditionNa, 21), "*** Could not open %s for patching.  File may be in use.");
  EXPECT_EQ(text(kEditionNa, 29), "The patch was removed successfully.");
}

TEST(DialogTexts, CaptionIsMessageOneAndTextsFollowTheEdition) {
  for (const EditionData* edition : kAllEditions) {
    EXPECT_EQ(edition->dialog.caption, text(*edition, 1)) << edition->name;
  }
  EXPECT_STREQ(kEditionNa.dialog.cancelButton, "Cancel");
  EXPECT_STREQ(kEditionUk.dialog.finishButton, "Finish");
  EXPECT_STREQ(kEditionDe.dialog.cancelButton, "Abbrechen");
  EXPECT_STREQ(kEditionDe.dialog.initialStatus, "Update l\xC3\xA4uft...");
  EXPECT_STREQ(kEditionDe.dialog.finishButton, "Beenden");
}

TEST(Messages, LoadCutsToCapacityAndLeavesMissingNumbersEmpty) {
  CatalogueMessages messages(kEditionNa.catalogue, kEditionNa.catalogueCount);
  char buffer[8] = "xxxxxxx";
  messages.load(1, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "Volume ");
  messages.load(2, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "");
}

TEST(Messages, BoundedFormattingAndAppending) {
  char line[16];
  formatWithPath(line, sizeof line, "ab %s cd", "Varnok\\Text.bmp");
  EXPECT_STREQ(line, "ab Varnok\\Text.");
  formatWithNumber(line, sizeof line, " (pass %d)", 2);
  EXPECT_STREQ(line, " (pass 2)");
  formatWithPath(line, sizeof line, "%d %s %", "x");  // other directives are copied as text
  EXPECT_STREQ(line, "%d x %");
  char log[10] = "";
  appendBounded(log, sizeof log, "12345");
  appendBounded(log, sizeof log, "67890");
  EXPECT_STREQ(log, "123456789");
  appendBounded(log, sizeof log, "more");
  EXPECT_STREQ(log, "123456789");
}

}  // namespace
