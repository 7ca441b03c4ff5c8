// The words of the statement grammar: the token classes, the keywords in ascending byte order
// (a trailing "$" marks an undocumented form) and the end marker.
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "grammar/codes.h"
#include "grammar/codings.h"
#include "grammar/grammar.h"

namespace vsf {

namespace {

// clang-format off
const char* const kTokenClasses[] = {
    "ENDJB", "NAMEX", "QS", "INT", "NBR", "COMPOUND", "FMT", "DATE", "TIME", "DATETIME",
    "MISSING", "VLITERAL", "CATNAME", "ZANDS", "RESERVED1", "RESERVED2", "RESERVED3", "RESERVED4",
    "RESERVED5",
};
// The keywords the grammar's text names, in ascending byte order; those of the codings' and
// DROP= rules' tables join them from the tables, which the rules `coding` and `drop_value` are
// made from.
const char* const kKeywords[] = {
    "(", ")", "*", ",", "-", "/", ":", "=", "@", "ACTUAL", "ADAPTIVE",
    "ADDINPUTVARS", "ADJRSQ", "AIC", "AICC", "ALL", "ALLDENSE$", "ALLDETAILS$",
    "ALLSPARSE$", "ALPHA", "ALWAYS", "ANOVA", "ASCENDING", "ASE", "ASEPLOT$", "AUTO",
    "AVERAGEMETHOD$", "BACKWARD", "BASE$", "BASIS", "BEST",
    "BIC", "BINARY", "BLOCK", "BSPLINE", "BUILDSSCP", "BY", "CANDIDATES", "CANDIDATESPLOT$",
    "CAT", "CATALOG", "CENTER", "CENTERSCALE", "CHAR", "CHARACTER", "CHOOSE", "CLASS", "CODE",
    "CODING", "COEFFICIENT$", "COEFFICIENTPANEL$", "COEFFICIENTS", "COEFFS", "COLLECTION",
    "CP", "CPREFIX", "CPUCOUNT", "CRITERIA", "CRITERION$", "CRITERIONPANEL$",
    "CROSSVALIDATE", "CV", "CVDETAILS", "CVEX", "CVEXTERNAL", "CVMETHOD", "CVPRESS", "DATA",
    "DATABOUNDARY", "DEGREE", "DELIMITER", "DESC", "DESCENDING", "DESIGNROLE",
    "DETAILS", "DPP$", "DROP", "DUM", "DUMMIES", "DUMMY", "EFFECT", "EFFECTSELECTPCT",
    "EFFECTSELECTPCTPLOT$", "EFFECTSELPERCENT$", "ELASTICNET", "EMPHASIS", "EMPHASISFACTOR",
    "ENDLEVEL$", "ENDSCALE", "ENDSTEP", "ENSCALE", "EQUAL", "ERR", "ERROR", "ERRORS", "EXCV",
    "EXPAND", "EXPONENT", "FILE", "FIRST", "FITSTATISTICS", "FITSTATS", "FORCE$", "FORMAT",
    "FORMATTED", "FORWARD", "FRAC$", "FRACTION", "FREQ", "FREQUENCY", "FULL", "FULLMODEL",
    "FULL_SWEEP$", "FUZZ", "FVALUE", "GAMMA", "GOLDEN", "GRID", "GROUP", "GROUPLASSO", "HIER",
    "HIERARCHY", "HXGLASSO$", "HXLASSO$", "IN", "INCLUDE", "INCLUDENAME",
    "INCREMENTAL", "INDEX", "INEST", "INMEMORY$", "INTERLACE$", "INTERLACED", "INTERNAL",
    "ITEMSTORE$", "KEEPNUM", "KEEPRATIO", "KNOTMAX", "KNOTMETHOD", "KNOTMIN", "L1", "L1CHOICE",
    "L2", "L2HIGH", "L2LOW", "L2SEARCH", "L2STEPS", "LABEL", "LABELGAP", "LABELSTYLE", "LAG",
    "LAR", "LASSO", "LAST", "LEASTSQUARESCOEFFS", "LINEAR", "LINEARCVEX$", "LINESIZE",
    "LIST", "LISTWITHBOUNDARY", "LOGP", "LOGPVALUE$", "LOOK", "LOOKUP", "LOWER", "LOWERQUANTILE$",
    "LPREFIX", "LQUANT$", "LS$", "LSCOEFFS", "LSTYLE$", "MAX", "MAXMACRO", "MAXPARMLABEL",
    "MAXSTEP", "MAXSTEPLABEL", "MAXSTEPS", "MDEGREE", "MEAN", "MEANNONZERO", "MEANNZ", "MED",
    "MEDIAN", "MEDIANNONZERO", "MEDIANNZ", "METABASE", "METHOD", "MIN", "MINMODELFREQ", "MINPCT",
    "MINPERCENT$", "MISSING", "MM", "MODEL", "MODELAVERAGE", "MODELSELECTFREQ", "MOMENTS",
    "MONOMIALDEGREE", "MULTIMEMBER", "MULTISCALE", "NAMELEN", "NAMES", "NATURAL", "NATURALCUBIC",
    "NEVER", "NLAG", "NO", "NOBOXPLOTS", "NODUM", "NODUMMIES", "NODUMMY", "NOEFFECT", "NOERR",
    "NOERROR", "NOERRORS", "NOINT", "NONE", "NONZEROPARMS", "NOPOWERS", "NOPRINT", "NORES",
    "NORESIDUAL", "NORESIDUALS", "NORM", "NORMALIZEDCRITERIA", "NORMB", "NORMBETA$", "NORMC",
    "NOSEPARATE", "NOSTANDARDIZE$", "NOTHREADS", "NOTIMING$", "NOTSORTED", "NSAMPLES",
    "NTHREADS$", "NUMBER", "NUMERIC", "ONLY", "ORDER", "ORDERSELECT",
    "OUT", "OUTDESIGN", "OUTPUT", "OUTSTORE", "P", "PARAM", "PARAMETERESTIMATES", "PARMDIST",
    "PARMDISTPANEL$", "PARMDISTRIBUTION", "PARMEST", "PARMLABELSTYLE", "PARMTHRESHOLD$",
    "PARTITION", "PCT", "PERCENT", "PERCENTAGE", "PERCENTILES", "PERFORMANCE", "PERFSTATUS$",
    "PERIOD", "PLOT", "PLOTS", "PLOTSPERPANEL", "POLY", "POLYNOMIAL", "PRED", "PREDICTED",
    "PREFIX", "PRESS", "PRODUCTSYMBOL", "PROTECT", "R", "RANDOM", "RANGE",
    "RANGEFRACTIONS", "RATIO", "READ", "REF", "REFERENCE", "REFIT", "RES", "RESID", "RESIDUAL",
    "RESIDUALS", "RESTRICTED", "RHO", "ROLE", "ROLEVAR", "ROWSTD", "RSQUARE", "SAMPLEFREQ",
    "SAMPLEMETHOD$", "SAMPLEPRED", "SAMPLING", "SAMPLINGMETHOD", "SAMPPERCENT$", "SAMPSIZE$",
    "SBC", "SCALE", "SCHEDULE$", "SCORE", "SCREEN", "SCREENSTEPS$", "SEED", "SELECT", "SELECTION",
    "SELECTOGRAM$", "SELECTPCT", "SEPARATE", "SEPARATECOMPACT", "SEPARATED$", "SEPARATEDCOMPACT$",
    "SEPARATOR", "SF", "SHAREDDRIVE$", "SHORTPARMNAMES$", "SHOW", "SHOWCODING", "SHOWCVEX$",
    "SHOWINTERNALTABLES$", "SHOWL2SEARCH$", "SHOWPVALS", "SHOWPVALUES", "SHOWSCREEN$",
    "SHOWSTEPL1$", "SIGNIFICANCELEVEL", "SINGLE", "SINGLECLASS", "SIS", "SIZE", "SL", "SLE",
    "SLENTRY", "SLS", "SLSTAY", "SP", "SPL", "SPLINE", "SPLIT", "SRS", "STANDARDDEVIATION",
    "STANDARDIZE", "START", "STARTLEVEL", "STARTSCALE$", "STARTSTEP", "STAT", "STATIC",
    "STATISTICS", "STATS", "STB", "STDDEV", "STDIZE", "STEPADD", "STEPAXIS", "STEPS", "STEPWISE",
    "STOP", "STORE", "SUBSET", "SUMMARY", "TABLES", "TDATA$", "TEST", "TESTDATA",
    "THREADS", "THRESHOLD$", "TO", "TOL", "TOLERANCE", "TPF", "TRAIN", "TRIM$",
    "TRIMPERCENT", "TRUNCATE", "UNPACK", "UNPACKPANEL", "UPPER", "UPPERQUANTILE$", "UQUANT$",
    "URS", "UTIL_BUFFERS$", "UTIL_DETAILS$", "UTIL_PAGESIZE$", "UTIL_RANDOM$", "VAL$", "VALDATA",
    "VALID$", "VALIDATE", "VALIDDATA$", "VALUE", "VAR", "VARSIFTER",
    "VDATA$", "WEIGHT", "WEIGHTS$", "WITHIN", "WMOMENTS", "XVALIDATE$", "XVMETHOD$", "YES",
    "ZANVI", "ZANVI2$", "_ALL_", "_CHARACTER_", "_CHAR_", "_NUMERIC_", "|",
};
// clang-format on
constexpr const char* kEndMarker = "$$$";

// The keywords in ascending byte order, each once: the text's and the tables'.
std::vector<std::string> keywords() {
  std::vector<std::string> all(std::begin(kKeywords), std::end(kKeywords));
  for (const Coding& c : coding_rows::kCodings)
    for (std::string_view keyword : c.keywords)
      if (!keyword.empty()) all.emplace_back(keyword);
  for (const DropKeyword& d : kDropRules) all.emplace_back(d.keyword);
  std::sort(all.begin(), all.end());
  all.erase(std::unique(all.begin(), all.end()), all.end());
  return all;
}

}  // namespace

const char* const* grammarWords(int* count) {
  static const std::vector<std::string> words = keywords();
  static const std::vector<const char*> list = [] {
    std::vector<const char*> l(std::begin(kTokenClasses), std::end(kTokenClasses));
    for (const std::string& w : words) l.push_back(w.c_str());
    l.push_back(kEndMarker);
    return l;
  }();
  *count = static_cast<int>(list.size());
  return list.data();
}

}  // namespace vsf
