// Fits of fixed models against R's lm (tests/reference/selection_fixtures.R): every storage
// mode of the crossproducts gives the same estimates, SSE, rank and criteria.
#include <gtest/gtest.h>

#include <cmath>

#include "common/group_support.h"
#include "selection/selection_internal.h"

namespace vsf {
namespace {

using test::CaseData;
using test::Group;
using test::GroupSettings;

using test::kStorageModes;

struct Case {
  const char* name;
  bool weight;
};
constexpr Case kCases[] = {{"mtcars", false}, {"diabetes", true}, {"swiss", false}};

double rel(double got, double want) {
  return std::fabs(got - want) / std::fmax(std::fabs(want), 1.0);
}

void expectValue(double got, double want, double tol, const char* what) {
  if (std::isnan(want)) {
    EXPECT_TRUE(isAbsent(got)) << what << " should be missing, is " << got;
  } else {
    EXPECT_LT(rel(got, want), tol) << what << ": " << got << " vs " << want;
  }
}

// lm's estimates, SSE and rank; AIC = extractAIC + n + 2, SBC = extractAIC(k = log n), the
// closed forms of AICC, Cp and BIC, R-square, adjusted R-square, PRESS from hatvalues and the F
// test's p-value from anova.
TEST(Fits, EstimatesAndCriteriaOfFixedModelsMatchR) {
  for (const Case& c : kCases) {
    const CaseData data = test::readCase(c.name);
    const auto models = test::readModels(c.name);
    for (const auto& m : kStorageModes) {
      SCOPED_TRACE(std::string(c.name) + ", " + m.name);
      GroupSettings gs;
      gs.weight = c.weight, gs.full = m.full, gs.store = m.store;
      Group g(data, gs);
      const double sigma2 = g.fullSigma2();
      expectValue(sigma2, models[0].sigma2, 1e-9, "sigma2");
      double prevSse = 0;
      int prevP = 0, prevE = 0;
      for (size_t i = 0; i < models.size(); ++i) {
        SCOPED_TRACE("model " + std::to_string(i));
        const test::ModelFixture& f = models[i];
        ASSERT_EQ(g.prepare(), 0);
        ASSERT_EQ(g.enter(f.effects), 0);
        EXPECT_EQ(g.s().sweep.sweptColumns, f.rank);
        EXPECT_EQ(g.s().sweep.effectsInModel, static_cast<int>(f.effects.size()));
        expectValue(g.s().fit.trainSse, f.sse, 1e-9, "SSE");
        auto est = g.estimates();
        ASSERT_EQ(est.size(), f.coef.size());
        for (size_t j = 0; j < est.size(); ++j) {
          if (std::isnan(f.coef[j]))
            EXPECT_TRUE(std::isnan(est[j])) << "column " << j << " should be aliased";
          else
            EXPECT_LT(rel(est[j], f.coef[j]), 1e-7) << "column " << j;
        }
        SelectionState& s = g.s();
        s.fit.sigma2Full = sigma2;
        expectValue(s.totals.correctedSS, f.sst, 1e-10, "corrected total");
        const struct {
          CriterionCode code;
          double want;
          const char* name;
        } rows[] = {{kCritAic, f.aic, "AIC"},
                    {kCritAicc, f.aicc, "AICC"},
                    {kCritSbc, f.sbc, "SBC"},
                    {kCritCp, f.cp, "Cp"},
                    {kCritBic, f.bic, "BIC"},
                    {kCritRsquare, f.rsq, "R-square"},
                    {kCritAdjRsq, f.adjrsq, "adjusted R-square"},
                    {kCritPress, f.press, "PRESS"}};
        for (const auto& r : rows) expectValue(criterionValue(&s, r.code), r.want, 1e-8, r.name);
        if (i > 0) {
          const double logp =
              criterionFromStats(&s, kCritSl, prevSse, s.fit.trainSse, prevP, s.sweep.sweptColumns,
                                 prevE, s.sweep.effectsInModel);
          expectValue(logp, f.logp, 1e-6, "log p of the F test");
        }
        prevSse = s.fit.trainSse, prevP = s.sweep.sweptColumns, prevE = s.sweep.effectsInModel;
      }
    }
  }
}

// CV PRESS from R's fits without each fold; validation and test ASE of a partition.
TEST(Criteria, CrossValidationAndPartitionsMatchR) {
  struct Row {
    const char* name;
    bool kfold, roles;
  };
  for (const Row& r : {Row{"diabetes_cv", true, false}, Row{"diabetes_part", false, true}}) {
    const CaseData data = test::readCase(r.name);
    const auto models = test::readModels(r.name);
    for (const auto& m : kStorageModes) {
      SCOPED_TRACE(std::string(r.name) + ", " + m.name);
      GroupSettings gs;
      gs.weight = true, gs.full = m.full, gs.store = m.store;
      gs.kfold = r.kfold, gs.folds = r.kfold ? 5 : 0, gs.roles = r.roles;
      Group g(data, gs);
      for (size_t i = 0; i < models.size(); ++i) {
        SCOPED_TRACE("model " + std::to_string(i));
        ASSERT_EQ(g.prepare(), 0);
        ASSERT_EQ(g.enter(models[i].effects), 0);
        expectValue(g.s().fit.trainSse, models[i].sse, 1e-9, "SSE");
        if (r.kfold) {
          expectValue(criterionValue(&g.s(), kCritCv), models[i].cvpress, 1e-8, "CV PRESS");
        } else {
          expectValue(criterionValue(&g.s(), kCritValidate), models[i].validAse, 1e-8,
                      "validation ASE");
          expectValue(g.s().fit.testAse, models[i].testAse, 1e-8, "test ASE");
        }
      }
    }
  }
}

}  // namespace
}  // namespace vsf
