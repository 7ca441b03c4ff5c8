// One BY group's state, and the view of the whole step that the selection engine and the
// layers above it are given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datapass/resources.h"
#include "datapass/utilfiles.h"
#include "effects/effects.h"
#include "selection/display_options.h"
#include "selection/resample.h"
#include "selection/selection.h"
#include "statements/settings.h"

namespace vsf {

// Sums for the stored model of the post-fit bridge (only when it is to be stored).
struct StoredModelSums {
  uint8_t wanted = 0;
  double allWeight = 0;               // w x f of the training and the excluded observations
  double* allSums = nullptr;          // per model variable: w f x, then the means
  double* trainSums = nullptr;        // per model variable: f x, then the means
  double* trainColumnSums = nullptr;  // per design column: f x
  double* effectScales = nullptr;     // per effect
};

// One BY group's state, from its reset to its release.
struct GroupState {
  SelectionState selection;
  ScratchFile groupScratch;
  ResampleSet resampling;
  HostPool* byPool = nullptr;
  HostPool* pagePool = nullptr;
  HostPool* groupHeap = nullptr;
  UtilFileArray utilFiles;
  double byGroupNumber = 0.0;
  int32_t resampleWorkLength = 0;
  int32_t groupOutDesignWidth = 0;
  int64_t obsTagStart = 0;          // the group's first observation tag in the step's tag file
  uint8_t noTrainingExplained = 0;  // the data pass said why the group has no training row
  // CVMETHOD=INDEX: each fold's value of the index variable, in fold order (texts for a
  // character variable).
  std::vector<double> indexFoldValues;
  std::vector<std::string> indexFoldTexts;

  // Data pass.
  int64_t largestBlockRows = 0;
  int32_t largestColumnCount = 0;
  StoredModelSums modelSums;
  int32_t* refitFirstColumns = nullptr;  // the layout's first columns, kept for the refit

  // Displays.
  uint8_t refitPass = 0;  // the refit pass of model averaging prints

  // The candidate table (its lists come from the pool the table was built from), and the
  // count of candidates forced into every model.
  std::vector<CandidateEntry> candidateTable;
  int32_t firstCandidate = 0;
  int32_t longestCandidateLabel = 0;
  // What the selection reads of the candidates: the table above once built, and the effects'
  // containment that the set-up works out.
  CandidateData candidates;
  // The set-up's containment arrays behind those lists, [0] dependants and [1] prerequisites
  // of every effect, from which a design built per BY group relates its candidates.
  int32_t* relationCounts[2] = {nullptr, nullptr};
  int32_t** relationLists[2] = {nullptr, nullptr};
};

// What the display tables, the graphs and model averaging see of the step: its settings, their
// own record of the options, the step's resources and the BY group's state (not theirs to
// change), the output sink they report through (the one part of the resources they write),
// the levelization context and the step code their failures raise. What one of them changes
// of the group or the step (the fit it settles or fits, the resample set, a phase timer) the
// frame hands it explicitly.
struct StepView {
  const StepSettings& settings;
  const DisplayOptions& display;
  const StepResources& res;
  OutputSink& output;  // the one part of the resources they write
  const GroupState& group;
  const ZLevCtx& lev;
  int& stepCode;
  const int32_t& byGroupCount;
};

}  // namespace vsf
