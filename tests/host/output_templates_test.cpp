#include <gtest/gtest.h>

#include "host/output/layout_internal.h"
#include "host/output/output_internal.h"
#include "host/output/templates_internal.h"

namespace vsf::host::output {

extern const char kTemplateText[];

namespace {

TEST(OutputTemplates, CompiledTemplatesReadWithoutErrors) {
  TemplateSet set;
  std::vector<std::string> errors;
  EXPECT_TRUE(set.parse(kTemplateText, &errors));
  for (const std::string& e : errors) ADD_FAILURE() << e;
  // Paths are found without regard to case; the Timing table's path is mixed case.
  ASSERT_NE(set.find("stat.varsifter.anova"), nullptr);
  ASSERT_NE(set.find("Stat.VARSIFTER.Timing"), nullptr);
  EXPECT_EQ(set.find("Stat.VARSIFTER.Timing")->path, "Stat.VarSifter.Timing");
  const Template* anova = set.find("Stat.VARSIFTER.ANOVA");
  ASSERT_NE(anova->column("probf"), nullptr);
  EXPECT_EQ(anova->column("ProbF")->show, "showProbF");
  // Hidden data of graphs, whatever their name.
  const Template* phantom = set.find("Stat.VARSIFTER.Phantom.Coefficients");
  ASSERT_NE(phantom, nullptr);
  EXPECT_TRUE(phantom->hidden);
  EXPECT_EQ(set.find("Stat.VARSIFTER.Phantom"), nullptr);
  EXPECT_EQ(set.find("Stat.VARSIFTER.NoSuchTable"), nullptr);
}

// A table without a template of its own is hidden when a part of its path, in any case, is
// "Phantom".
TEST(OutputTemplates, APathWithoutATemplateIsHiddenByAPhantomPart) {
  Table t;
  for (const char* path : {"Stat.NoSuch.Phantom.Fit", "x.PHANTOM.", "a.pHaNtOm.b.c"}) {
    t.templatePath = path;
    EXPECT_FALSE(isDisplayed(t)) << path;
  }
  for (const char* path : {"", "Stat.NoSuch.Fit", "Phantom.Fit", "x.Phantoms.y", "x.phantom"}) {
    t.templatePath = path;
    EXPECT_TRUE(isDisplayed(t)) << path;
  }
}

TEST(OutputTemplates, ExactPathsWinOverWildcardsAndLongerWildcardsOverShorter) {
  TemplateSet set;
  std::vector<std::string> errors;
  ASSERT_TRUE(
      set.parse("template A.*\ntitle one\nend\n"
                "template A.B.*\ntitle two\nend\n"
                "template A.B.C\ntitle three\nend\n",
                &errors));
  EXPECT_EQ(set.find("a.x")->title, "one");
  EXPECT_EQ(set.find("A.B.X")->title, "two");
  EXPECT_EQ(set.find("A.B.C")->title, "three");
  // Found again in another case, a path gives the same template, and a miss stays a miss
  // until a template for it is read.
  EXPECT_EQ(set.find("a.b.c"), set.find("A.B.C"));
  EXPECT_EQ(set.find("b.x"), nullptr);
  EXPECT_EQ(set.find("B.X"), nullptr);
  ASSERT_TRUE(
      set.parse("template A.B.X\ntitle four\nend\ntemplate B.*\ntitle five\nend\n", &errors));
  EXPECT_EQ(set.find("a.b.x")->title, "four");
  EXPECT_EQ(set.find("b.x")->title, "five");
  EXPECT_EQ(set.find("A.B.C")->title, "three");
}

TEST(OutputTemplates, ColumnAttributesAreRead) {
  TemplateSet set;
  std::vector<std::string> errors;
  ASSERT_TRUE(set.parse(R"(template T
  title "A {x} title"   # comment
  column C header="Two words" format=PVALUE6.4 just=r show=showC marker=OptC blank=-1
  column D hide format={fmt}
  footnote "* note" when=printFootnote
end)",
                        &errors));
  const Template* t = set.find("t");
  EXPECT_EQ(t->title, "A {x} title");
  const TemplateColumn* c = t->column("c");
  EXPECT_TRUE(c->headerGiven);
  EXPECT_EQ(c->header, "Two words");
  EXPECT_EQ(c->format, "PVALUE6.4");
  EXPECT_EQ(c->just, 'r');
  EXPECT_EQ(c->show, "showC");
  EXPECT_EQ(c->marker, "OptC");
  EXPECT_EQ(c->blank, "-1");
  EXPECT_TRUE(t->column("D")->hidden);
  EXPECT_EQ(t->column("D")->format, "{fmt}");
  ASSERT_EQ(t->footnotes.size(), 1u);
  EXPECT_EQ(t->footnotes[0].when, "printFootnote");
}

TEST(OutputTemplates, FaultyLinesAreReportedWithTheirNumbers) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"column X\n", "line 1: a line outside any template"},
      {"template T\nwidget\nend\n", "line 2: an unknown line \"widget\""},
      {"template T\ncolumn X format=BEST\nend\n", "line 2: an unknown format BEST"},
      {"template T\ncolumn X just=x\nend\n", "line 2: justification is l, c or r"},
      {"template T\ncolumn X size=3\nend\n", "line 2: an unknown column attribute size"},
      {"template T\ncolumn X\ncolumn x\nend\n", "line 3: column x given twice"},
      {"template T\ncolumn X header=\"open\nend\n", "line 2: a quote without its end"},
      {"template T\nend\ntemplate t\nend\n", "line 3: template t given twice"},
      {"template T\ntemplate U\n", "line 2: a template inside template T"},
      {"end\n", "line 1: an end without a template"},
      {"template T\n", "template T has no end"},
      {"template T\nfootnote x if=y\nend\n", "line 2: a footnote takes only when="},
  };
  for (const Case& c : cases) {
    TemplateSet set;
    std::vector<std::string> errors;
    EXPECT_FALSE(set.parse(c.text, &errors)) << c.text;
    ASSERT_FALSE(errors.empty()) << c.text;
    EXPECT_EQ(errors[0], c.error) << c.text;
  }
}

}  // namespace
}  // namespace vsf::host::output
