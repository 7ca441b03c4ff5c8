// The statement grammar of the procedure, as data. Actions name the option slots and flags
// of grammar/slots.h; the readers take the records apart. A line "@generated NAME" stands
// for a rule made from a table of codes (kGenerated, at the end), so that a code's number is
// written once, in its enum.
#include "grammar/codes.h"
#include "grammar/codings.h"
#include "grammar/grammar.h"

namespace vsf {

namespace {

constexpr std::string_view kGrammar = R"GRAMMAR(
# ---------------------------------------------------------------------------------------
# The step: the procedure statement, the other statements, the end.
@record proc
start : proc_stmt stmts '$$$' ;
stmts : stmt stmts | ;
stmt : by_stmt | class_stmt | freq_stmt | weight_stmt | model_stmt | effect_stmt
     | partition_stmt | output_stmt | score_stmt | perf_stmt | ma_stmt | code_stmt
     | store_stmt | ';' ;

# ---- Shared pieces ----
number : INT | NBR ;
var_name : NAMEX | VLITERAL ;
# One item of a variable list: a name, a range, a prefix or a list keyword.
var_item : var_name {var} var_rest
         | _NUMERIC_ {form 7} | _CHARACTER_ {form 8} | _CHAR_ {form 8} | _ALL_ {form 9} ;
var_rest : '-' var_range | ':' {form 6} | {form 1} ;
var_range : var_name {var} {form 2}
          | '-' var_name {var} {form 3}
          | NUMERIC '-' var_name {var} {form 4}
          | CHARACTER '-' var_name {var} {form 5}
          | CHAR '-' var_name {var} {form 5} ;
var_items : var_item var_items | ;
one_var : var_name {var} {form 1} ;
new_name : var_name {var} {form 1} ;
dsname : ds_word {dsname} ds_options ;
ds_word : NAMEX | COMPOUND | QS ;
ds_options : '(' ds_option_list ')' | ;
ds_option_list : ds_option ds_option_list | ;
ds_option : READ '=' NAMEX {dsread} | PROTECT '=' NAMEX {dsprotect} ;
minpct_kw : MINPCT | MINPERCENT$ ;
desc_kw : DESCENDING | DESC ;

# ---------------------------------------------------------------------------------------
# PROC VARSIFTER options
proc_stmt : VARSIFTER {proc VARSIFTER} proc_opts {dsdefault Data in} ';' {end} ;
proc_opts : proc_opt proc_opts | ;
proc_opt : DATA '=' dsname {ds Data in}
         | valdata_kw '=' dsname {ds ValData in}
         | testdata_kw '=' dsname {ds TestData in}
         | SEED '=' number {num Seed}
         | NAMELEN '=' INT {bound 20 200} {num NameLen}
         | MAXMACRO '=' INT {bound -1} {num MaxMacro}
         | NOPRINT {flag NoPrint}
         | SHOWINTERNALTABLES$ {flag ShowInternalTables}
         | SHORTPARMNAMES$ {flag ShortParmNames} [ '=' QS {qs ShortNamesText} ]
         | PARMLABELSTYLE '=' label_style
         | OUTDESIGN outdesign_paren '=' dsname {ds OutDesign out}
         | plots_kw {flag Plots} plots_paren plots_eq ;
valdata_kw : VALDATA | VALIDDATA$ | VDATA$ ;
testdata_kw : TESTDATA | TDATA$ ;
label_style : interlaced_kw {enum ParmLabelStyle 0} [ '(' SEPARATOR '=' QS {flag SeparatorGiven} {qs Separator} ')' ]
            | separate_kw {enum ParmLabelStyle 1}
            | separatecompact_kw {enum ParmLabelStyle 2} ;
interlaced_kw : INTERLACED | INTERLACE$ ;
separate_kw : SEPARATE | SEPARATED$ ;
separatecompact_kw : SEPARATECOMPACT | SEPARATEDCOMPACT$ ;
outdesign_paren : '(' outdesign_opts ')' | ;
outdesign_opts : outdesign_opt outdesign_opts | ;
outdesign_opt : FULLMODEL {flag FullModel}
              | ADDINPUTVARS {flag AddInputVars}
              | NAMES {flag OutDesignNames}
              | PREFIX '=' {names OutDesignPrefix new} new_name ;

# PLOTS [(global options)] [= request | (requests)]
plots_kw : PLOTS | PLOT ;
plots_paren : '(' plot_globals ')' | ;
plot_globals : plot_global plot_globals | ;
plot_global : unpack_kw {flag PlotUnpack}
            | logp_kw {flag PlotLogp}
            | CANDIDATES '=' INT {bound 2} {num PlotCandidates}
            | MAXSTEPLABEL '=' INT {bound 9 256} {num MaxStepLabel}
            | MAXPARMLABEL '=' INT {bound 0 256} {num MaxParmLabel}
            | STEPAXIS '=' axis_global
            | STARTSTEP '=' INT {num StartStep}
            | ENDSTEP '=' INT {num EndStep} ;
unpack_kw : UNPACK | UNPACKPANEL ;
logp_kw : LOGP | LOGPVALUE$ ;
normb_kw : NORMB | NORMBETA$ ;
axis_global : NUMBER {enum StepAxis 1} | EFFECT {enum StepAxis 2} | normb_kw {enum StepAxis 3} ;
axis_coef : NUMBER {enum CoefStepAxis 1} | EFFECT {enum CoefStepAxis 2} | normb_kw {enum CoefStepAxis 3} ;
axis_ase : NUMBER {enum AseStepAxis 1} | EFFECT {enum AseStepAxis 2} | normb_kw {enum AseStepAxis 3} ;
axis_crit : NUMBER {enum CritStepAxis 1} | EFFECT {enum CritStepAxis 2} | normb_kw {enum CritStepAxis 3} ;
plots_eq : '=' {flag PlotEquals} plot_requests | ;
plot_requests : plot_request | '(' plot_request_list ')' ;
plot_request_list : plot_request plot_request_list | ;
plot_request : coef_kw {flag PlotCoef} [ '(' coef_opts ')' ]
             | SELECTOGRAM$ {flag PlotSelectogram} [ '(' selectogram_opts ')' ]
             | candidates_kw {flag PlotCandidates} [ '(' candidates_opts ')' ]
             | ase_kw {flag PlotAse} [ '(' ase_opts ')' ]
             | criteria_kw {flag PlotCriteria} [ '(' criteria_opts ')' ]
             | ALL {flag PlotAll}
             | NONE {flag PlotNone}
             | esp_plot_kw {flag PlotEsp} [ '(' esp_plot_opts ')' ]
             | parmdist_kw {flag PlotParmDist} [ '(' parmdist_opts ')' ] ;
coef_kw : COEFFICIENTS | COEFFICIENT$ | COEFFICIENTPANEL$ ;
candidates_kw : CANDIDATES | CANDIDATESPLOT$ ;
ase_kw : ASE | ASEPLOT$ ;
criteria_kw : CRITERIA | CRITERION$ | CRITERIONPANEL$ ;
esp_plot_kw : EFFECTSELECTPCT | SELECTPCT | EFFECTSELECTPCTPLOT$ ;
parmdist_kw : PARMDIST | PARMDISTRIBUTION | PARMDISTPANEL$ ;
coef_opts : coef_opt coef_opts | ;
coef_opt : STEPAXIS '=' axis_coef
         | unpack_kw {flag CoefUnpack}
         | logp_kw {flag CoefLogp}
         | LABELGAP '=' number {bound 0 100} {num LabelGap}
         | STARTSTEP '=' INT {num CoefStartStep}
         | ENDSTEP '=' INT {num CoefEndStep} ;
selectogram_opts : selectogram_opt selectogram_opts | ;
selectogram_opt : logp_kw {flag SelectogramLogp}
                | normc_kw {flag NormalizedCriteria}
                | emphasis_kw '=' number {bound 0 1} {num Emphasis}
                | CANDIDATES '=' INT {bound 2} {num SelectogramCandidates} ;
normc_kw : NORMALIZEDCRITERIA | NORMC ;
emphasis_kw : EMPHASIS | EMPHASISFACTOR ;
candidates_opts : candidates_opt candidates_opts | ;
candidates_opt : logp_kw {flag CandidatesLogp}
               | SHOW '=' INT {bound 2 1000} {num CandidatesShow} ;
ase_opts : ase_opt ase_opts | ;
ase_opt : STEPAXIS '=' axis_ase
        | STARTSTEP '=' INT {num AseStartStep}
        | ENDSTEP '=' INT {num AseEndStep} ;
criteria_opts : criteria_opt criteria_opts | ;
criteria_opt : STEPAXIS '=' axis_crit
             | unpack_kw {flag CritUnpack}
             | STARTSTEP '=' INT {num CritStartStep}
             | ENDSTEP '=' INT {num CritEndStep} ;
esp_plot_opts : esp_plot_opt esp_plot_opts | ;
esp_plot_opt : minpct_kw '=' number {bound 0 100} {num EspMinPct}
             | ORDER '=' esp_plot_order ;
esp_plot_order : MODEL {enum EspOrder 0} | ASCENDING {enum EspOrder 1} | desc_kw {enum EspOrder 2} ;
parmdist_opts : parmdist_opt parmdist_opts | ;
parmdist_opt : unpack_kw {flag PdUnpack}
             | minpct_kw '=' number {bound 0 100} {num PdMinPct}
             | ORDER '=' parmdist_order
             | PLOTSPERPANEL '=' INT {bound 1 16} {num PlotsPerPanel}
             | NOBOXPLOTS {flag NoBoxPlots} ;
parmdist_order : MODEL {enum PdOrder 0} | ASCENDING {enum PdOrder 1} | desc_kw {enum PdOrder 2} ;

# ---------------------------------------------------------------------------------------
# BY, CLASS, FREQ, WEIGHT: into the procedure statement's record
by_stmt : BY {into BY} {names ByVars any} {by 1} by_item by_items ';' {end} ;
by_items : by_item by_items | ;
by_item : var_item | desc_kw {by 2} | NOTSORTED {by 3} ;

freq_stmt : freq_kw {into FREQ} {names Freq numeric} one_var ';' {end} ;
weight_stmt : weight_kw {into WEIGHT} {names Weight numeric} one_var ';' {end} ;
@role FREQ Freq "the FREQ variable"
@role WEIGHT Weight "the WEIGHT variable"
weight_kw : WEIGHT | WEIGHTS$ ;
freq_kw : FREQ | FREQUENCY ;

class_stmt : CLASS {into CLASS} {names ClassVars any} class_items class_slash ';' {end} ;
class_items : class_item class_items | ;
class_item : var_item class_paren ;
class_paren : '(' class_var_opts ')' | ;
class_var_opts : class_var_opt class_var_opts | ;
class_var_opt : param_kw {target ParamValue ParamIndex} '=' coding
              | ORDER {target OrderValue OrderIndex} '=' order_value
              | ref_kw {target RefValue RefIndex} '=' ref_var
              | desc_kw {target DescValue DescIndex} {append 1}
              | CPREFIX {target CprefixValue CprefixIndex} '=' INT {bound -1} {append}
              | LPREFIX {target LprefixValue LprefixIndex} '=' INT {bound -1} {append}
              | MISSING {target MissingValue MissingIndex} {append 1}
              | SPLIT {target SplitValue SplitIndex} {append 1} ;
class_slash : '/' class_opts | ;
class_opts : class_opt class_opts | ;
class_opt : param_kw {target Param} '=' coding
          | ORDER {target Order} '=' order_value
          | ref_kw '=' ref_global
          | desc_kw {enum Desc 1}
          | CPREFIX '=' INT {bound -1} {num Cprefix}
          | LPREFIX '=' INT {bound -1} {num Lprefix}
          | MISSING {enum Missing 1}
          | TRUNCATE {flag TruncateGiven} [ '=' INT {bound -1} {num Truncate} ]
          | showcoding_kw {flag ShowCoding}
          | SPLIT {flag Split}
          | DELIMITER '=' QS {qs Delimiter} ;
param_kw : PARAM | CODING ;
ref_kw : REF | REFERENCE ;
showcoding_kw : SHOWCODING | SHOW ;
# PARAM= keywords, stored negated: made from the codings' table (grammar/codings.h)
@generated coding
order_value : FORMATTED {append 0} | DATA {append -1} | FREQ {append -2} | INTERNAL {append -3} ;
ref_var : FIRST {append -1} | LAST {append -2} | QS {append -3} {qsvar RefText} ;
ref_global : FIRST {enum Ref -1} | LAST {enum Ref -2} | QS {enum Ref -3} {qs Ref} ;

# ---------------------------------------------------------------------------------------
# MODEL responses = effects / options
@record model
model_stmt : MODEL {begin MODEL} {names Responses numeric} var_items '=' {eff 16 0} effects {eff 17 0} model_slash ';' {end} ;
@role MODEL Responses "the response"
effects : effect_expr effects | ;
effect_expr : {eff 8 0} {eff 7 0} effect_body {eff 6 0} ;
effect_body : effect_term effect_ops
            | _NUMERIC_ {eff 10 6} | _CHARACTER_ {eff 10 7} | _CHAR_ {eff 10 7} ;
effect_term : {eff 0 0} var_name {eff 1 0} effect_cross effect_nest {eff 5 0} ;
effect_cross : '*' var_name {eff 1 0} effect_cross | ':' {eff 10 5} | ;
effect_nest : '(' var_name {eff 2 0} nest_names ')' | ;
nest_names : '*' var_name {eff 2 0} nest_names | var_name {eff 2 0} nest_names | ;
effect_ops : '|' {eff 10 0} effect_term effect_ops
           | '-' effect_range
           | '@' INT {eff 12 0}
           | ;
effect_range : {eff 10 1} effect_term effect_ops
             | '-' {eff 10 2} effect_term effect_ops
             | NUMERIC '-' {eff 10 3} effect_term effect_ops
             | CHARACTER '-' {eff 10 4} effect_term effect_ops
             | CHAR '-' {eff 10 4} effect_term effect_ops ;
model_slash : '/' model_opts | ;
model_opts : model_opt model_opts | ;
model_opt : NOINT {flag NoInt}
          | stats_kw '=' stats_value
          | DETAILS '=' details_value
          | SELECTION '=' method
          | hierarchy_kw '=' hierarchy_value
          | ORDERSELECT {flag OrderSelect}
          | STB {flag Stb}
          | cvmethod_kw '=' cv_method {flag CvMethod}
          | CVDETAILS {flag CvDetails} [ '=' cv_details ]
          | showpvalues_kw {flag ShowPValues}
          | NOSTANDARDIZE$ {flag NoStandardize}
          | FUZZ '=' number {bound 0 1} {num Fuzz}
          | slentry_opt | slstay_opt | include_opt | start_opt | maxsteps_opt | steps_opt
          | select_opt | stop_opt | choose_opt | drop_opt ;
stats_kw : STATS | STATISTICS | STAT ;
stats_value : stats_item | '(' stats_items ')' ;
stats_items : stats_item stats_items | ;
stats_item : ALL {flag StatsAll} | SL {flag StatsSl} | FVALUE {flag StatsFValue}
           | AIC {flag StatsAic} | AICC {flag StatsAicc} | SBC {flag StatsSbc}
           | BIC {flag StatsBic} | CP {flag StatsCp} | PRESS {flag StatsPress}
           | RSQUARE {flag StatsRsquare} | ADJRSQ {flag StatsAdjRsq} | ASE {flag StatsAse} ;
details_value : SUMMARY {enum Details 1}
              | STEPS {enum Details 2} [ '(' {flag StepsList} step_tables ')' ]
              | ALL {enum Details 3} ;
step_tables : step_table step_tables | ;
step_table : ALL {flag StepsAll}
           | ANOVA {flag StepsAnova}
           | fitstats_kw {flag StepsFitStats}
           | parmest_kw {flag StepsParmEst}
           | CANDIDATES {flag StepsCandidates} [ '(' SHOW '=' candidates_show ')' ] ;
fitstats_kw : FITSTATISTICS | FITSTATS ;
parmest_kw : PARAMETERESTIMATES | PARMEST ;
candidates_show : ALL {flag StepsShowAll} | INT {bound 1} {num CandidatesShow} ;
hierarchy_kw : HIERARCHY | HIER ;
hierarchy_value : NONE {enum Hierarchy 0} | SINGLE {enum Hierarchy 1} | SINGLECLASS {enum Hierarchy 2} ;
cvmethod_kw : CVMETHOD | XVMETHOD$ ;
cv_method : RANDOM cv_folds
          | BLOCK {flag CvBlock} cv_folds
          | SPLIT {flag CvSplit} cv_folds
          | INDEX {flag CvIndex} '(' {names CvIndexVar any} one_var ')' ;
cv_folds : '(' INT {bound 2} {num CvFolds} ')' | ;
cv_details : CVPRESS {setflag CvDetailsPress 1} {setflag CvDetailsCoeffs 0} {setflag CvDetailsAll 0}
           | COEFFS {setflag CvDetailsPress 0} {setflag CvDetailsCoeffs 1} {setflag CvDetailsAll 0}
           | ALL {setflag CvDetailsPress 0} {setflag CvDetailsCoeffs 0} {setflag CvDetailsAll 1} ;
showpvalues_kw : SHOWPVALUES | SHOWPVALS ;

# Options of the selection methods; each also stands in the method's parentheses.
slentry_opt : slentry_kw '=' number {bound 0 1} {num SlEntry} ;
slentry_kw : SLENTRY | SLE ;
slstay_opt : slstay_kw '=' number {bound 0 1} {num SlStay} ;
slstay_kw : SLSTAY | SLS ;
include_opt : INCLUDE '=' INT {bound 0} {num Include} ;
start_opt : START '=' INT {bound 1} {num Start} ;
maxsteps_opt : maxsteps_kw '=' INT {bound 1} {num MaxSteps} ;
maxsteps_kw : MAXSTEPS | MAXSTEP ;
steps_opt : STEPS '=' INT {bound 1} {num Steps} ;
select_opt : SELECT '=' select_value ;
stop_opt : STOP '=' stop_value ;
choose_opt : CHOOSE '=' choose_value ;
drop_opt : DROP '=' drop_value ;
sl_kw : SIGNIFICANCELEVEL | SL ;
cv_kw : CV | CROSSVALIDATE | XVALIDATE$ ;
select_value : sl_kw {enum Select 1} | AIC {enum Select 2} | AICC {enum Select 3}
             | SBC {enum Select 4} | RSQUARE {enum Select 5} | ADJRSQ {enum Select 6}
             | CP {enum Select 7} | BIC {enum Select 8} | PRESS {enum Select 9}
             | VALIDATE {enum Select 10} | cv_kw {enum Select 11} ;
stop_value : sl_kw {enum Stop 1} | AIC {enum Stop 2} | AICC {enum Stop 3}
           | SBC {enum Stop 4} | RSQUARE {enum Stop 5} | ADJRSQ {enum Stop 6}
           | CP {enum Stop 7} | BIC {enum Stop 8} | PRESS {enum Stop 9}
           | VALIDATE {enum Stop 10} | cv_kw {enum Stop 11} | NONE {enum Stop 12}
           | L1 {enum Stop 14} | INT {bound 1} {num StopSteps} ;
choose_value : AIC {enum Choose 2} | AICC {enum Choose 3}
             | SBC {enum Choose 4} | RSQUARE {enum Choose 5} | ADJRSQ {enum Choose 6}
             | CP {enum Choose 7} | BIC {enum Choose 8} | PRESS {enum Choose 9}
             | VALIDATE {enum Choose 10} | cv_kw {enum Choose 11}
             | cvex_kw {enum Choose 13} ;
cvex_kw : CVEXTERNAL | CVEX | EXCV ;
# DROP= keywords: made from kDropRules (grammar/codes.h)
@generated drop_value

method : NONE {enum Selection 1}
       | FORWARD {enum Selection 2} [ '(' forward_opts ')' ]
       | BACKWARD {enum Selection 3} [ '(' backward_opts ')' ]
       | STEPWISE {enum Selection 4} [ '(' stepwise_opts ')' ]
       | LAR {enum Selection 5} [ '(' path_opts ')' ]
       | LASSO {enum Selection 6} [ '(' path_opts ')' ]
       | ELASTICNET {enum Selection 9} [ '(' path_opts ')' ]
       | HXLASSO$ {enum Selection 11} [ '(' path_opts ')' ]
       | HXGLASSO$ {enum Selection 12} [ '(' path_opts ')' ]
       | GROUPLASSO {enum Selection 13} [ '(' path_opts ')' ] ;
# What the options of other programs' penalized fits are called here.
@hint ALPHA ELASTICNET "the mix of its L1 and L2 penalties is set by L2= (the ridge penalty), or searched by L2SEARCH=GRID or GOLDEN"
@hint L1_RATIO ELASTICNET "the mix of its L1 and L2 penalties is set by L2= (the ridge penalty), or searched by L2SEARCH=GRID or GOLDEN"
@hint ALPHA LASSO LAR GROUPLASSO "SELECTION=ELASTICNET mixes in an L2 penalty, set by L2="
@hint LAMBDA LASSO LAR ELASTICNET GROUPLASSO "the path runs over every penalty and CHOOSE= picks one; STOP=L1 with L1= and L1CHOICE= stops at a given one"
@hint NFOLDS LASSO LAR ELASTICNET GROUPLASSO "CHOOSE=CVEX chooses by cross validation over the folds of the MODEL option CVMETHOD=, as CVMETHOD=RANDOM(10)"
@hint SELECT LASSO LAR ELASTICNET GROUPLASSO "the path itself decides which effect enters next; STOP= and CHOOSE= take the criteria"
forward_opts : forward_opt forward_opts | ;
forward_opt : slentry_opt | include_opt | start_opt | maxsteps_opt | steps_opt
            | select_opt | stop_opt | choose_opt ;
backward_opts : backward_opt backward_opts | ;
backward_opt : slstay_opt | include_opt | maxsteps_opt | steps_opt
             | select_opt | stop_opt | choose_opt ;
stepwise_opts : stepwise_opt stepwise_opts | ;
stepwise_opt : slentry_opt | slstay_opt | include_opt | start_opt | maxsteps_opt | steps_opt
             | select_opt | stop_opt | choose_opt | drop_opt ;
path_opts : path_opt path_opts | ;
path_opt : stop_opt | choose_opt | maxsteps_opt | steps_opt | slentry_opt | slstay_opt
         | lscoeffs_kw {flag LsCoeffs}
         | ADAPTIVE {flag Adaptive} [ '(' adaptive_opts ')' ]
         | L2 '=' number {num L2}
         | ENSCALE {flag EnScale}
         | L2STEPS '=' INT {bound 2} {num L2Steps}
         | L2SEARCH '=' l2search_value
         | L2LOW '=' number {bound 0} {num L2Low}
         | L2HIGH '=' number {bound 0} {num L2High}
         | L1 '=' number {bound 0} {num L1}
         | L1CHOICE '=' l1choice_value
         | SCREEN '=' screen_value
         | SCREENSTEPS$ '=' INT {bound 1} {num ScreenSteps}
         | RHO '=' number {bound 0 1} {num Rho}
         | tol_kw '=' number {bound 0 1} {num Tol}
         | SHOWCVEX$ {flag ShowCvEx}
         | SHOWL2SEARCH$ {flag ShowL2Search}
         | SHOWSTEPL1$ {flag ShowStepL1}
         | LINEARCVEX$ {flag LinearCvEx}
         | SHOWSCREEN$ {flag ShowScreen} ;
lscoeffs_kw : LSCOEFFS | LEASTSQUARESCOEFFS | LS$ ;
tol_kw : TOL | TOLERANCE ;
adaptive_opts : adaptive_opt adaptive_opts | ;
adaptive_opt : GAMMA '=' number {bound 0} {num Gamma}
             | inest_kw '=' dsname {ds InEst in} ;
inest_kw : INEST | IN ;
l2search_value : NONE {enum L2Search 1} | GOLDEN {enum L2Search 2} | GRID {enum L2Search 3} ;
l1choice_value : RATIO {enum L1Choice 1} | NORM {enum L1Choice 2} | VALUE {enum L1Choice 3} ;
screen_value : NONE {enum Screen 1} | BASE$ {enum Screen 2} | ZANVI {enum Screen 3}
             | ZANVI2$ {enum Screen 4} | DPP$ {enum Screen 5}
             | SIS {enum Screen 6} [ '(' sis_opts ')' ] ;
sis_opts : sis_opt sis_opts | ;
sis_opt : KEEPNUM '=' INT {bound 1} {num KeepNum}
        | KEEPRATIO '=' number {bound 0 1} {num KeepRatio} ;

# ---------------------------------------------------------------------------------------
# EFFECT name = type(variables / options)
@record effect
effect_stmt : EFFECT {begin EFFECT} {eff 14 0} {names Name new} new_name '=' effect_type ';' {end} ;
effect_type : mm_kw {enum Type 1} '(' effect_vars [ '/' mm_opts ] ')'
            | COLLECTION {enum Type 2} '(' effect_vars [ '/' collection_opts ] ')'
            | spline_kw {enum Type 3} '(' effect_vars [ '/' spline_opts ] ')'
            | poly_kw {enum Type 4} '(' effect_vars [ '/' poly_opts ] ')'
            | LAG {enum Type 5} '(' effect_vars [ '/' lag_opts ] ')' ;
mm_kw : MULTIMEMBER | MM ;
spline_kw : SPLINE | SPL ;
poly_kw : POLYNOMIAL | POLY ;
effect_vars : {names Vars any} var_items ;
details_opt : DETAILS {flag Details} [ '(' delimiter_opt ')' ] ;
delimiter_opt : DELIMITER '=' QS {qs Delimiter} ;
mm_opts : mm_opt mm_opts | ;
mm_opt : WEIGHT '=' {names MmWeight numeric} weight_vars
       | NOEFFECT {flag NoEffect}
       | STDIZE {flag Stdize} | ROWSTD {flag Stdize}
       | details_opt ;
weight_vars : '(' var_items ')' | var_item ;
collection_opts : collection_opt collection_opts | ;
collection_opt : details_opt ;
spline_opts : spline_opt spline_opts | ;
spline_opt : DEGREE '=' INT {bound 0} {num Degree}
           | KNOTMETHOD '=' knot_method
           | BASIS '=' basis_value
           | KNOTMIN '=' number {num KnotMin}
           | KNOTMAX '=' number {num KnotMax}
           | natural_kw {flag NaturalCubic}
           | SEPARATE {flag Separate}
           | SPLIT {flag Split}
           | DETAILS {flag Details}
           | DATABOUNDARY {flag DataBoundary} ;
natural_kw : NATURALCUBIC | NATURAL | RESTRICTED ;
knot_method : EQUAL {enum KnotMethod 1} [ '(' INT {bound 1} {num KnotCount} ')' ]
            | MULTISCALE {enum KnotMethod 2} [ '(' multiscale_opts ')' ]
            | LIST {enum KnotMethod 3} '(' {names KnotList numbers} number_list ')'
            | RANGEFRACTIONS {enum KnotMethod 4} '(' {names KnotList numbers} number_list ')'
            | PERCENTILES {enum KnotMethod 5} '(' INT {bound 1} {num KnotCount} ')'
            | LISTWITHBOUNDARY {enum KnotMethod 6} '(' {names KnotList numbers} number_list ')' ;
multiscale_opts : multiscale_opt multiscale_opts | ;
multiscale_opt : startlevel_kw '=' INT {bound 0 15} {num StartLevel}
               | endscale_kw '=' INT {bound 0 15} {num EndScale} ;
startlevel_kw : STARTLEVEL | STARTSCALE$ ;
endscale_kw : ENDSCALE | ENDLEVEL$ ;
number_list : number_item number_more ;
number_more : number_item number_more | ',' number_item number_more | ;
number_item : number {numlist KnotList} number_to ;
number_to : TO number {range 1} number_by {range 3} | ;
number_by : BY number {range 2} | ;
basis_value : BSPLINE {enum Basis 1} | TPF {enum Basis 2} [ '(' tpf_opts ')' ] ;
tpf_opts : tpf_opt tpf_opts | ;
tpf_opt : NOINT {flag TpfNoInt} | NOPOWERS {flag TpfNoPowers} ;
poly_opts : poly_opt poly_opts | ;
poly_opt : DEGREE '=' INT {bound 1 100} {num Degree}
         | mdegree_kw '=' INT {bound 1} {num MDegree}
         | NOSEPARATE {flag NoSeparate}
         | STANDARDIZE {flag Standardize} [ '(' standardize_opts ')' ] [ '=' standardize_value ]
         | labelstyle_kw '=' labelstyle_value
         | DETAILS {flag Details} ;
mdegree_kw : MDEGREE | MONOMIALDEGREE ;
standardize_opts : standardize_opt standardize_opts | ;
standardize_opt : PREFIX '=' prefix_value | METHOD '=' standardize_method ;
prefix_value : QS {qs StdPrefix} | NAMEX {text StdPrefix} ;
standardize_method : MOMENTS {enum StdMethod 1} | WMOMENTS {enum StdMethod 2} | RANGE {enum StdMethod 3} ;
standardize_value : NONE {enum StdOption 1} | CENTER {enum StdOption 2}
                  | SCALE {enum StdOption 3} | CENTERSCALE {enum StdOption 4} ;
labelstyle_kw : LABELSTYLE | LSTYLE$ ;
labelstyle_value : '(' labelstyle_opts ')' | labelstyle_opt ;
labelstyle_opts : labelstyle_opt labelstyle_opts | ;
labelstyle_opt : EXPONENT {flag ExponentGiven} [ '=' QS {qs Exponent} ]
               | EXPAND {flag Expand}
               | INCLUDENAME {flag IncludeName}
               | PRODUCTSYMBOL '=' product_value ;
product_value : QS {qs ProductSymbol} | NONE {flag ProductNone} ;
lag_opts : lag_opt lag_opts | ;
lag_opt : NLAG '=' INT {bound 0} {num NLag}
        | WITHIN '=' {names Within any} within_vars
        | PERIOD '=' {names Period any} one_var
        | DESIGNROLE '=' {names DesignRole any} one_var
        | DETAILS {flag Details} ;
within_vars : '(' var_items ')' | var_item ;

# ---------------------------------------------------------------------------------------
# PARTITION ROLEVAR=variable(TRAIN= VALIDATE= TEST=) | FRACTION(VALIDATE= TEST=)
@record partition
partition_stmt : PARTITION {begin PARTITION} partition_body ';' {end} ;
partition_body : rolevar_kw '=' {names RoleVar any} one_var [ '(' role_opts ')' ]
               | fraction_kw '(' fraction_opts ')' ;
rolevar_kw : ROLEVAR | ROLE | VAR ;
fraction_kw : FRACTION | FRAC$ ;
validate_kw : VALIDATE | VAL$ | VALID$ ;
role_opts : role_opt role_opts | ;
role_opt : TRAIN '=' QS {flag Train} {qs Train}
         | validate_kw '=' QS {flag Validate} {qs Validate}
         | TEST '=' QS {flag Test} {qs Test} ;
fraction_opts : fraction_opt fraction_opts | ;
fraction_opt : validate_kw '=' number {bound 0 1} {flag ValidateFraction} {num ValidateFraction}
             | TEST '=' number {bound 0 1} {flag TestFraction} {num TestFraction} ;

# ---------------------------------------------------------------------------------------
# OUTPUT and SCORE: a statistic keyword, optionally = name
@record output
output_stmt : OUTPUT {begin OUTPUT} output_opts {dsdefault Out out} ';' {end} ;
output_opts : output_opt output_opts | ;
output_opt : OUT '=' dsname {ds Out out}
           | pred_kw {flag Pred} {names Pred new} stat_name
           | resid_kw {flag Resid} {names Resid new} stat_name
           | samplepred_kw {flag SamplePred} {names SamplePred new} stat_name
           | samplefreq_kw {flag SampleFreq} {names SampleFreq new} stat_name
           | stddev_kw {flag StdDev} {names StdDev new} stat_name
           | upper_kw {flag Upper} {names Upper new} stat_name
           | lower_kw {flag Lower} {names Lower new} stat_name
           | MEDIAN {flag Median} {names Median new} stat_name ;
stat_name : '=' new_name | ;
pred_kw : PRED | PREDICTED | P ;
resid_kw : RESID | RESIDUAL | RESIDUALS | RES | R ;
samplepred_kw : SAMPLEPRED | SP ;
samplefreq_kw : SAMPLEFREQ | SF ;
stddev_kw : STDDEV | STANDARDDEVIATION ;
upper_kw : UPPER | UPPERQUANTILE$ | UQUANT$ ;
lower_kw : LOWER | LOWERQUANTILE$ | LQUANT$ ;

@record score
score_stmt : SCORE {begin SCORE} score_opts {dsdefault Out out} ';' {end} ;
score_opts : score_opt score_opts | ;
score_opt : DATA '=' dsname {ds Data in}
          | OUT '=' dsname {ds Out out}
          | pred_kw {flag Pred} {names Pred new} stat_name
          | resid_kw {flag Resid} {names Resid new} stat_name
          | samplepred_kw {flag SamplePred} {names SamplePred new} stat_name
          | stddev_kw {flag StdDev} {names StdDev new} stat_name
          | upper_kw {flag Upper} {names Upper new} stat_name
          | lower_kw {flag Lower} {names Lower new} stat_name
          | median_kw {flag Median} {names Median new} stat_name ;
median_kw : MEDIAN | MED ;

# ---------------------------------------------------------------------------------------
@record perf
perf_stmt : PERFORMANCE {begin PERFORMANCE} perf_opts ';' {end} ;
perf_opts : perf_opt perf_opts | ;
perf_opt : THREADS {flag Threads} [ '=' yes_no_threads ]
         | NOTHREADS {flag NoThreads}
         | CPUCOUNT '=' cpucount_value
         | DETAILS {flag Details}
         | NOTIMING$ {flag NoTiming}
         | PERFSTATUS$ {flag PerfStatus}
         | ALLDETAILS$ {flag AllDetails} {flag Details}
         | FORCE$ {flag Force}
         | BUILDSSCP '=' buildsscp_value
         | UTIL_RANDOM$ {flag UtilRandom}
         | UTIL_BUFFERS$ '=' INT {bound 0} {num UtilBuffers}
         | UTIL_PAGESIZE$ '=' INT {bound 1 10000} {num UtilPageSize}
         | ALLSPARSE$ {flag AllSparse}
         | ALLDENSE$ {flag AllDense}
         | UTIL_DETAILS$ {flag UtilDetails}
         | FULL_SWEEP$ '=' full_sweep_value ;
yes_no_threads : YES | NO {flag NoThreads} ;
cpucount_value : INT {bound 1 1024} {num CpuCount} | MIN {flag CpuMin} | MAX {flag CpuMax}
               | ACTUAL {flag CpuActual} ;
buildsscp_value : FULL {flag BuildFull} | INCREMENTAL {flag BuildIncremental} ;
full_sweep_value : STEPADD {enum FullSweep 0} | NEVER {enum FullSweep 1} | ALWAYS {enum FullSweep 2} ;

# ---------------------------------------------------------------------------------------
@record ma
ma_stmt : MODELAVERAGE {begin MODELAVERAGE} {flag Statement} ma_opts ';' {end} ;
ma_opts : ma_opt ma_opts | ;
ma_opt : NTHREADS$ '=' INT {bound 0} {num NThreads}
       | NSAMPLES '=' INT {bound 1} {num NSamples}
       | DETAILS {flag Details}
       | INMEMORY$ '=' yes_no_memory
       | sampling_kw '=' sampling_value
       | SHAREDDRIVE$ '=' QS {flag SharedDrive} {qs SharedDrive}
       | SCHEDULE$ '=' schedule_value
       | ALPHA '=' number {bound 0 1} {num Alpha}
       | threshold_kw '=' number {bound 0 99} {num ParmThreshold}
       | SUBSET '(' subset_opts ')'
       | AVERAGEMETHOD$ '=' average_value {flag AverageMethod}
       | tables_kw [ '(' ONLY {flag Only} ')' ] '=' tables_value
       | REFIT {flag Refit} [ '(' refit_opts ')' ] ;
yes_no_memory : YES {flag InMemory} | NO ;
sampling_kw : SAMPLING | SAMPLINGMETHOD | SAMPLEMETHOD$ ;
sampling_value : URS [ '(' sampling_opts ')' ] | SRS {flag Srs} [ '(' sampling_opts ')' ] ;
sampling_opts : sampling_opt sampling_opts | ;
sampling_opt : size_kw '=' INT {bound 1} {num Size}
             | percent_kw '=' number {bound 0 100} {num Percent} ;
size_kw : SIZE | SAMPSIZE$ ;
percent_kw : PERCENT | PCT | PERCENTAGE | SAMPPERCENT$ ;
schedule_value : INT {bound 1} {num Schedule} | STATIC {flag Static} ;
threshold_kw : PARMTHRESHOLD$ | THRESHOLD$ ;
subset_opts : subset_opt subset_opts | ;
subset_opt : MINMODELFREQ '=' INT {bound 1} {num MinModelFreq}
           | BEST '=' INT {bound 1} {num SubsetBest} ;
average_value : MEAN {enum AverageMethod 1} [ '(' trim_opt ')' ]
              | meannz_kw {enum AverageMethod 2} [ '(' trim_opt ')' ]
              | MEDIAN {enum AverageMethod 3}
              | mediannz_kw {enum AverageMethod 4} ;
meannz_kw : MEANNONZERO | MEANNZ ;
mediannz_kw : MEDIANNONZERO | MEDIANNZ ;
trim_opt : trim_kw '=' number {bound 0 100} {num TrimPercent} ;
trim_kw : TRIMPERCENT | TRIM$ ;
tables_kw : TABLES | SHOW ;
tables_value : table_item | '(' table_items ')' ;
table_items : table_item table_items | ;
table_item : esp_kw {flag Esp} [ '(' esp_opts ')' ]
           | MODELSELECTFREQ {flag Msf} [ '(' msf_opts ')' ]
           | PARMEST {flag ParmEst} [ '(' parmest_opts ')' ]
           | ALL {flag TablesAll}
           | NONE {flag TablesNone} ;
esp_kw : EFFECTSELECTPCT | EFFECTSELPERCENT$ ;
esp_opts : esp_opt esp_opts | ;
esp_opt : minpct_kw '=' number {bound 0 100} {num EspMinPct}
        | ORDER '=' esp_order
        | ALL {flag EspAll} ;
esp_order : MODEL {enum EspOrder 0} | ASCENDING {enum EspOrder 1} | desc_kw {enum EspOrder 2} ;
msf_opts : msf_opt msf_opts | ;
msf_opt : BEST '=' INT {bound 1} {num MsfBest} | ALL {flag MsfAll} ;
parmest_opts : parmest_opt parmest_opts | ;
parmest_opt : minpct_kw '=' number {bound 0 100} {num PeMinPct}
            | ORDER '=' parmest_order
            | NONZEROPARMS {flag NonZeroParms}
            | ALL {flag PeAll} ;
parmest_order : MODEL {enum PeOrder 0} | ASCENDING {enum PeOrder 1} | desc_kw {enum PeOrder 2} ;
refit_opts : refit_opt refit_opts | ;
refit_opt : minpct_kw '=' number {bound 0 100} {num RefitMinPct}
          | NSAMPLES '=' INT {bound 1} {num RefitNSamples}
          | BEST '=' INT {bound 0} {num RefitBest}
          | ALL {flag RefitAll} ;

# ---------------------------------------------------------------------------------------
# CODE and STORE: statements of the bridge
@record code
code_stmt : CODE {begin CODE} {enum Bridge 13165} {capture} code_opts ';' {end} ;
code_opts : code_opt code_opts | ;
code_opt : FILE '=' file_value
         | catalog_kw '=' catalog_value
         | dummies_kw {flag Dummies}
         | nodummies_kw {flag NoDummies}
         | error_kw {flag Error}
         | noerror_kw {flag NoError}
         | FORMAT '=' format_value
         | GROUP '=' NAMEX {text Group}
         | LINESIZE '=' INT {bound 64 254} {num LineSize}
         | lookup_kw '=' lookup_value
         | residual_kw {flag Residual}
         | noresidual_kw {flag NoResidual}
         | METABASE '=' metabase_value ;
file_value : QS {qs File} | NAMEX {text File} | COMPOUND {text File} ;
catalog_kw : CATALOG | CAT ;
catalog_value : QS {qs Catalog} | NAMEX {text Catalog} | COMPOUND {text Catalog} ;
metabase_value : QS {qs Metabase} | NAMEX {text Metabase} | COMPOUND {text Metabase} ;
format_value : FMT {text Format} | NAMEX {text Format} | QS {qs Format} ;
dummies_kw : DUMMIES | DUMMY | DUM ;
nodummies_kw : NODUMMIES | NODUMMY | NODUM ;
error_kw : ERROR | ERRORS | ERR ;
noerror_kw : NOERROR | NOERRORS | NOERR ;
residual_kw : RESIDUAL | RESIDUALS | RESID | RES ;
noresidual_kw : NORESIDUAL | NORESIDUALS | NORES ;
lookup_kw : LOOKUP | LOOK ;
lookup_value : AUTO {enum Lookup 1} | BINARY {enum Lookup 2} | LINEAR {enum Lookup 3}
             | SELECT {enum Lookup 4} ;

@record store
store_stmt : store_kw {begin STORE} store_out store_name [ '/' LABEL '=' QS {flag Label} {qs Label} ] ';' {end} ;
store_kw : STORE | ITEMSTORE$ ;
store_out : OUT '=' | OUTSTORE '=' | ;
store_name : NAMEX {store ItemStore} | COMPOUND {store ItemStore} | QS {store ItemStore} ;
)GRAMMAR";

// "name : K1 {action 1} | K2 {action 2} ..." grows by one alternative.
void addAlternative(std::string* rule, std::string_view keyword, const std::string& action) {
  *rule += (rule->back() == ':' ? " " : " | ") + std::string(keyword) + " " + action;
}

// The rule `coding`: every keyword of grammar/codings.h appends its coding's code negated.
std::string codingRule() {
  std::string rule = "coding :";
  for (const Coding& c : coding_rows::kCodings)
    for (std::string_view keyword : c.keywords)
      if (!keyword.empty())
        addAlternative(&rule, keyword, "{append " + std::to_string(-codeIndex(c.code)) + "}");
  return rule + " ;";
}

// The rule `drop_value`: every DROP= keyword of grammar/codes.h stores its rule's code.
std::string dropRule() {
  std::string rule = "drop_value :";
  for (const DropKeyword& d : kDropRules)
    addAlternative(&rule, d.keyword, "{enum Drop " + std::to_string(codeIndex(d.rule)) + "}");
  return rule + " ;";
}

// The rules made from tables of codes, each written where the text has "@generated NAME".
struct GeneratedRule {
  std::string_view name;
  std::string (*text)();
};
const GeneratedRule kGenerated[] = {{"coding", codingRule}, {"drop_value", dropRule}};

}  // namespace

std::string_view grammarText() {
  static const std::string text = [] {
    std::string t(kGrammar);
    for (const GeneratedRule& g : kGenerated) {
      const std::string line = "@generated " + std::string(g.name);
      if (size_t at = t.find(line + "\n"); at != std::string::npos)
        t.replace(at, line.size(), g.text());
    }
    return t;
  }();
  return text;
}

}  // namespace vsf
