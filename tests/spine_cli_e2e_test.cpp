// End-to-end runs of the command line: usage and help texts with their exit
// statuses, the option parser's own diagnostics, options in every order and
// spelling acting on a real input, and the run log. Every run compares
// standard output, standard error, the exit status and every file left in
// the folder, byte for byte, on plain and on gzip-compressed input.
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "cli/orvex_version.h"
#include "tests/fits_builder.h"
#include "tests/run_orvex.h"

namespace orvex::test {
namespace {

// "!" and the trimmed card for every card, then "!END".
std::string comments(const std::vector<card>& cards) { return comment_lines(cards); }

std::string filename_line(const std::string& path) { return "         filename:" + path + "\n"; }

// The input used throughout: a primary unit without data and three
// extensions without data, so that every part's file is its header.
const std::vector<card> primary_cards{{"SIMPLE", "T"}, {"BITPIX", "8"}, {"NAXIS", "0"}};
std::vector<card> extension_cards(const std::string& name) {
  return {{"XTENSION", "'IMAGE   '"}, {"BITPIX", "8"}, {"NAXIS", "0"}, {"EXTNAME", "'" + name + "'"}};
}
const std::string obs = fits_builder{}
                            .header(primary_cards)
                            .header(extension_cards("ONE"))
                            .header(extension_cards("TWO"))
                            .header(extension_cards("THREE"))
                            .bytes();
// What each part of `obs` is decoded to, by output name.
file_map obs_parts(const std::string& stem, std::vector<int> parts) {
  const std::string texts[] = {comments(primary_cards), comments(extension_cards("ONE")),
                               comments(extension_cards("TWO")), comments(extension_cards("THREE"))};
  file_map files;
  for (int p : parts) files[stem + ".00" + std::to_string(p)] = texts[p];
  return files;
}
file_map all_parts(const std::string& stem) { return obs_parts(stem, {0, 1, 2, 3}); }

file_map merged(file_map files, const file_map& more) {
  for (const auto& [name, bytes] : more) files[name] = bytes;
  return files;
}

file_map with_log(file_map files, const std::string& line) {
  files["logfile"] = line;
  return files;
}

// Stands for the full help in an expected standard output.
const std::string help = "<full help>";

std::string short_usage(const std::string& name) {
  return "Usage: " + name + " [OPTION] file ....\nTry `" + name + " --help' for more information.\n";
}

// The full help with the version banner left out; it follows the empty line
// after the option lines.
std::string help_without_version(const std::string& name) {
  return "Usage: " + name +
         " [OPTION] file ....\n"
         "\n"
         "Decodes a FITS file.\n"
         "\n"
         " -h, --header             Includes header info in decoded file\n"
         " -p, --part=#,NAME,...    Decode only these parts (numbers, EXTNAMEs)\n"
         "     --no-comments        No comments in files\n"
         "     --col-name=col1,...  Select columns by name and in order\n"
         "     --rosat              Select columns for rosat\n"
         "     --chandra            Select columns for chandra\n"
         "     --threads=N          Decode tables on N threads (default: every core)\n"
         "     --full               Decode every image and every ASCII-table field\n"
         " -o, --output-dir=DIR     Write the files into DIR, - for standard output\n"
         "     --exact              Write floating values as their shortest exact text\n"
         "     --csv                Write tables as CSV files\n"
         "     --ecsv               Write tables as ECSV files, with types and units\n"
         "     --list               List the parts of each file, decode nothing\n"
         "     --rows=LIST          Write only these rows of tables (5,10-20,1000-)\n"
         "     --where=EXPR         Write only the table rows where EXPR holds\n"
         "     --null=TEXT          Write every null value of a table as TEXT\n"
         "     --version            Print the version and exit\n"
         "     --no-logfile         Append no line to the logfile\n"
         "     --whole-name         Name the files after the whole input file name\n"
         "\n" +
         std::string(cli::Copyright) + "\n" + cli::Bugs + "\n";
}

// The version banner: the version, the build date and time as the compiler
// writes them ("Dec  8 2026 01:47:05"), the build number and a credit.
const std::regex version_banner(
    "orvex Version 1\\.11 (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] [0-9]{4} "
    "[0-2][0-9]:[0-5][0-9]:[0-5][0-9] Build: 0 [^\\n]+");

// Checks a standard output that should hold the full help for program name
// `name`: every line exactly, the banner by its pattern.
::testing::AssertionResult is_full_help(const std::string& out, const std::string& name) {
  const std::string before = "     --whole-name         Name the files after the whole input file name\n\n";
  const auto at = out.find(before);
  if (at == std::string::npos) return ::testing::AssertionFailure() << "no option lines in " << visible(out);
  const auto banner_start = at + before.size();
  const auto banner_end = out.find('\n', banner_start);
  if (banner_end == std::string::npos) return ::testing::AssertionFailure() << "no banner in " << visible(out);
  const std::string banner = out.substr(banner_start, banner_end - banner_start);
  if (!std::regex_match(banner, version_banner)) {
    return ::testing::AssertionFailure() << "version banner " << visible(banner);
  }
  if (banner != cli::Version) return ::testing::AssertionFailure() << "banner is not Version: " << banner;
  const std::string rest = out.substr(0, banner_start) + out.substr(banner_end + 1);
  if (rest != help_without_version(name)) {
    return ::testing::AssertionFailure() << "help text\n  actual:   " << visible(rest)
                                         << "\n  expected: " << visible(help_without_version(name));
  }
  return ::testing::AssertionSuccess();
}

struct cli_case {
  std::string name;
  std::vector<std::string> args;
  file_map inputs;
  std::string out;  // `help` for the full help of program `program`
  std::string err;
  int status;
  file_map files;  // every file written, the logfile without its time stamps
  std::string argv0 = "orvex";
  std::string program = "orvex";  // the name that the usage line shows
  std::vector<std::string> folders = {};
  std::vector<std::pair<std::string, std::optional<std::string>>> env = {};
  std::string stdout_path = {};
};

void PrintTo(const cli_case& c, std::ostream* os) { *os << c.name; }

// A text made fit to name a test case: letters, digits and "_".
std::string case_name(std::string text) {
  for (char& c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
  }
  return text;
}

// Runs that end with the usage or the help, nothing written, no log line,
// even with an input at hand: status 0 for the usage and the help asked
// for, 1 for an option error.
std::vector<cli_case> usage_cases() {
  const file_map input{{"obs.fits", obs}};
  std::vector<cli_case> cases{
      {"no_arguments", {}, {}, short_usage("orvex"), "", 0, {}},
      {"options_without_a_file", {"-d", "-p", "2", "--rosat"}, input, short_usage("orvex"), "", 0, {}},
      {"only_a_double_dash", {"--"}, input, short_usage("orvex"), "", 0, {}},
      {"help", {"--help"}, input, help, "", 0, {}},
      {"help_prefix", {"--hel"}, input, help, "", 0, {}},
      {"question_mark", {"-?"}, input, help, "", 0, {}},
      {"help_with_a_file", {"--help", "obs.fits"}, input, help, "", 0, {}},
      {"question_mark_after_a_file", {"obs.fits", "-d", "-?"}, input, help, "", 0, {}},
      {"question_mark_inside_a_cluster", {"-d?h", "obs.fits"}, input, help, "", 0, {}},
      {"unknown_letter_after_a_question_mark", {"obs.fits", "-?x"}, input, help, "", 0, {}},
      {"unknown_long_option", {"--foo", "obs.fits"}, input, help, "orvex: unrecognized option '--foo'\n", 1, {}},
      {"unknown_short_option", {"obs.fits", "-x"}, input, help, "orvex: invalid option -- 'x'\n", 1, {}},
      {"short_option_without_its_argument", {"obs.fits", "-p"}, input, help,
       "orvex: option requires an argument -- 'p'\n", 1, {}},
      {"long_option_without_its_argument", {"obs.fits", "--part"}, input, help,
       "orvex: option '--part' requires an argument\n", 1, {}},
      {"col_name_without_its_argument", {"obs.fits", "--col-name"}, input, help,
       "orvex: option '--col-name' requires an argument\n", 1, {}},
      {"argument_to_an_option_without_one", {"--debug=1", "obs.fits"}, input, help,
       "orvex: option '--debug' doesn't allow an argument\n", 1, {}},
      {"ambiguous_prefix_h", {"--h", "obs.fits"}, input, help,
       "orvex: option '--h' is ambiguous; possibilities: '--header' '--help'\n", 1, {}},
      {"ambiguous_prefix_c", {"--c=A", "obs.fits"}, input, help,
       "orvex: option '--c=A' is ambiguous; possibilities: '--col-name' '--chandra' '--csv'\n", 1, {}},
      {"error_after_valid_options", {"-d", "--rosat", "obs.fits", "--bogus"}, input, help,
       "orvex: unrecognized option '--bogus'\n", 1, {}},
      // The usage line's name is the path's last component, cut at its first dot.
      {"windows_path", {}, {}, short_usage("orvex"), "", 0, {}, "C:\\tools\\bin\\orvex.exe"},
      {"backslash_before_slashes", {}, {}, short_usage("tools/bin/orvex"), "", 0, {}, "C:\\tools/bin/orvex.exe"},
      {"dotted_name", {}, {}, short_usage("my"), "", 0, {}, "./my.tool.exe"},
      {"unix_path", {}, {}, short_usage("orvex"), "", 0, {}, "/usr/local/bin/orvex"},
      {"help_for_a_windows_path", {"--help"}, {}, help, "", 0, {}, "C:\\tools\\bin\\orvex.exe", "orvex"},
      {"help_for_a_dotted_name", {"-?"}, {}, help, "", 0, {}, "bin/my.tool.exe", "my"},
      // The parser's diagnostics name the program by argv[0] as it is.
      {"diagnostic_with_a_path", {"--foo"}, {}, help, "C:\\tools\\orvex.exe: unrecognized option '--foo'\n", 1, {},
       "C:\\tools\\orvex.exe", "orvex"},
  };
  return cases;
}

// Options in their spellings and places, each acting on the same input.
std::vector<cli_case> option_cases() {
  const file_map input{{"obs.fits", obs}};
  const std::string out = filename_line("obs.fits");
  auto run = [&](std::string name, std::vector<std::string> args, std::vector<int> parts, std::string logged) {
    return cli_case{std::move(name), std::move(args), input, out, "", 0,
                    with_log(obs_parts("obs", parts), " orvex " + logged + "\n")};
  };
  std::vector<cli_case> cases{
      run("no_options", {"obs.fits"}, {0, 1, 2, 3}, "obs.fits"),
      run("p_0", {"-p", "0", "obs.fits"}, {0}, "-p 0 obs.fits"),
      run("p_attached", {"-p2", "obs.fits"}, {2}, "-p2 obs.fits"),
      run("capital_P", {"-P", "2", "obs.fits"}, {2}, "-P 2 obs.fits"),
      run("part_equals", {"--part=2", "obs.fits"}, {2}, "--part=2 obs.fits"),
      run("part_next_word", {"--part", "2", "obs.fits"}, {2}, "--part 2 obs.fits"),
      run("part_prefix", {"--pa=3", "obs.fits"}, {3}, "--pa=3 obs.fits"),
      run("p_by_name", {"-p", "two", "obs.fits"}, {2}, "-p two obs.fits"),
      run("p_numbers_and_names", {"--part=0,THREE", "obs.fits"}, {0, 3}, "\"--part=0,THREE\" obs.fits"),
      run("p_minus_2", {"-p", "-2", "obs.fits"}, {0, 1, 2, 3}, "-p -2 obs.fits"),
      run("later_p_wins", {"-p", "1", "-p", "3", "obs.fits"}, {3}, "-p 1 -p 3 obs.fits"),
      // Options after the file name act as if they stood before it, and the
      // log shows them there.
      run("options_after_the_file", {"obs.fits", "-p", "0"}, {0}, "-p 0 obs.fits"),
      run("options_around_the_file", {"-p", "3", "obs.fits", "--quiet"}, {3}, "-p 3 --quiet obs.fits"),
      run("quiet_changes_no_output", {"--quiet", "obs.fits"}, {0, 1, 2, 3}, "--quiet obs.fits"),
      run("silent_prefix", {"--si", "obs.fits"}, {0, 1, 2, 3}, "--si obs.fits"),
      run("double_dash_before_the_file", {"-p", "1", "--", "obs.fits"}, {1}, "-p 1 -- obs.fits"),
      run("threads", {"--threads=3", "obs.fits"}, {0, 1, 2, 3}, "--threads=3 obs.fits"),
      run("threads_prefix_next_word", {"--t", "0", "obs.fits"}, {0, 1, 2, 3}, "--t 0 obs.fits"),
  };
  // A number of threads that is none ends the run before anything is read.
  for (const char* bad : {"-1", "x", "", "1025"}) {
    cases.push_back({std::string("threads_") + (bad[0] == '\0' ? "empty" : bad[0] == '-' ? "negative" : bad),
                     {std::string("--threads=") + bad, "obs.fits"},
                     input,
                     "",
                     std::string("orvex: --threads: not a number of threads (0 for every core, or 1 or more): ") + bad +
                         "\n",
                     1,
                     {}});
  }
  // A part the input does not have.
  for (const char* n : {"-1", "4"}) {
    cases.push_back(run(std::string("p_no_part_") + (n[0] == '-' ? "minus_1" : n), {"-p", n, "obs.fits"}, {}, std::string("-p ") + n + " obs.fits"));
    cases.back().err = std::string("orvex: obs.fits: no part ") + n + "\n";
    cases.back().status = 1;
  }
  cases.push_back(run("no_logfile", {"--no-logfile", "obs.fits"}, {0, 1, 2, 3}, ""));
  cases.back().files.erase("logfile");
  cases.push_back({"whole_name",
                   {"--whole-name", "-p", "0", "obs.fits", "obs.pi"},
                   {{"obs.fits", obs}, {"obs.pi", obs}},
                   filename_line("obs.fits") + filename_line("obs.pi"),
                   "",
                   0,
                   with_log(merged(obs_parts("obs.fits", {0}), obs_parts("obs.pi", {0})),
                            " orvex --whole-name -p 0 obs.fits obs.pi\n")});
  // A name no part bears: the parts named are written, and the input says
  // which names it lacks. A word that is not wholly a number is a name.
  for (auto [list, written, missing] : {std::tuple<std::string, std::vector<int>, std::string>{"x", {}, "x"},
                                        {"1x", {}, "1x"}, {"ONE,1", {}, "ONE,1"}, {"1,NONE,TWO", {1, 2}, "NONE"}}) {
    cases.push_back({case_name("p_missing_" + list), {"-p", list, "obs.fits"}, input, out,
                     "orvex: obs.fits: no part named " + missing + "\n", 1,
                     with_log(obs_parts("obs", written),
                              " orvex -p " + (list.find(',') != std::string::npos ? "\"" + list + "\"" : list) +
                                  " obs.fits\n")});
  }
  // An input none of whose tables has a column of the filter is not decoded.
  cases.push_back({"where_column_in_no_table", {"--where=A > 1", "obs.fits"}, input, out,
                   "orvex: obs.fits: --where: no table has the column A\n", 1,
                   with_log({}, " orvex \"--where=A > 1\" obs.fits\n")});
  // Bad row lists and filters end the run before anything is read.
  for (auto [option, message] : std::initializer_list<std::pair<std::string, std::string>>{
           {"--rows=0", "--rows: not a row number or range (5, 10-20, 1000-; rows count from 1): \"0\""},
           {"--rows=3,,4", "--rows: not a row number or range (5, 10-20, 1000-; rows count from 1): \"\""},
           {"--rows=9-2", "--rows: the range ends before it begins: \"9-2\""},
           {"--where=A >", "--where: at character 4: a value is missing at the end"},
           {"--where=(A>1", "--where: at character 5: \")\" is missing"},
           {"--where=A > 'x", "--where: at character 5: the text has no closing quote"},
           {"--where=A+1", "--where: at character 2: a condition is asked for here"},
           {"--where=A[0] = 1", "--where: at character 3: an element number (1 or more) belongs in [ ]"},
           {"--where=log(A) > 1", "--where: at character 1: no function is called \"log\" (abs, sqrt, min, max)"},
           {"--where=", "--where: the expression is empty"},
       }) {
    cases.push_back({case_name("bad_" + option) + std::to_string(cases.size()), {option, "obs.fits"}, input, "", "orvex: " + message + "\n", 1, {}});
  }
  // Permutation holds whatever the environment says.
  cases.push_back(run("options_after_the_file_with_POSIXLY_CORRECT", {"obs.fits", "-p", "0"}, {0}, "-p 0 obs.fits"));
  cases.back().env = {{"POSIXLY_CORRECT", "1"}};

  // No comment lines: every part's file is empty.
  cases.push_back({"no_comments",
                   {"obs.fits", "--no-comments"},
                   input,
                   out,
                   "",
                   0,
                   {{"obs.000", ""}, {"obs.001", ""}, {"obs.002", ""}, {"obs.003", ""},
                    {"logfile", " orvex --no-comments obs.fits\n"}}});
  // A file whose name looks like an option, after "--".
  cases.push_back({"file_named_like_an_option",
                   {"--", "-d"},
                   {{"-d", obs}},
                   filename_line("-d"),
                   "",
                   0,
                   with_log(all_parts("-d"), " orvex -- -d\n")});
  cases.push_back({"double_dash_then_option_words",
                   {"-p", "0", "--", "-h", "obs.fits"},
                   {{"-h", obs}, {"obs.fits", obs}},
                   filename_line("-h") + filename_line("obs.fits"),
                   "",
                   0,
                   with_log(merged(obs_parts("-h", {0}), obs_parts("obs", {0})),
                            " orvex -p 0 -- -h obs.fits\n")});
  return cases;
}

// Column lists and presets reach the table decoder: a table of the columns
// A and B, rows (1, 2) and (3, 4).
std::vector<cli_case> column_cases() {
  const std::vector<card> table{{"XTENSION", "'BINTABLE'"}, {"BITPIX", "8"},   {"NAXIS", "2"},
                                {"NAXIS1", "8"},            {"NAXIS2", "2"},   {"PCOUNT", "0"},
                                {"GCOUNT", "1"},            {"TFIELDS", "2"},  {"TTYPE1", "'A'"},
                                {"TFORM1", "'1J'"},         {"TTYPE2", "'B'"}, {"TFORM2", "'1J'"}};
  const std::string input =
      fits_builder{}.header(primary_cards).header(table).data(big_endian{}.i32(1).i32(2).i32(3).i32(4).bytes()).bytes();
  const std::string progress = "000%\r050%\r100%\n";
  const std::string none = "Warning: No colums written\n";
  auto run = [&](std::string name, std::vector<std::string> options, std::string rows, std::string shown) {
    std::string logged = " orvex";
    for (const std::string& o : options) logged += (o.find_first_of(", ") != std::string::npos ? " \"" + o + "\"" : " " + o);
    options.push_back("obs.fits");
    return cli_case{std::move(name), std::move(options), {{"obs.fits", input}},
                    filename_line("obs.fits") + shown + progress, "", 0,
                    {{"obs.000", comments(primary_cards)}, {"obs.001", comments(table) + rows},
                     {"logfile", logged + " obs.fits\n"}}};
  };
  return {
      run("every_column", {}, "1 2 \n3 4 \n", ""),
      run("column_list_in_its_order", {"--col-name=B,A"}, "2 1 \n4 3 \n", ""),
      run("column_list_with_empty_names", {"--col-name=,B,,"}, "2 \n4 \n", ""),
      run("two_column_lists", {"--col-name=B", "--co=A"}, "2 1 \n4 3 \n", ""),
      run("column_names_match_without_regard_to_case", {"--col-name=a,b"}, "1 2 \n3 4 \n", ""),
      [&] {
        cli_case c = run("column_list_names_a_column_no_table_has", {"--col-name=A,Q,q"}, "1 \n3 \n", "");
        c.err = "orvex: obs.fits: --col-name: no table has the column Q\norvex: obs.fits: --col-name: no table has the column q\n";
        c.status = 1;
        return c;
      }(),
      run("rosat_preset_matches_nothing", {"--rosat"}, "\n\n", none),
      run("column_list_then_preset", {"--col-name=A", "--chandra"}, "\n\n", none),
      run("preset_then_column_list", {"--rosat", "--col-name=A"}, "1 \n3 \n", ""),
      // Rows are chosen before their text is made; the progress still
      // counts every row read.
      run("rows_list", {"--rows=2-"}, "3 4 \n", ""),
      run("rows_beyond_the_table", {"--rows=5,1"}, "1 2 \n", ""),
      run("where_names_in_any_case", {"--where=b > 2 and a = 3"}, "3 4 \n", ""),
      run("where_and_rows_both_hold", {"--where=#row >= 1", "--rows=2"}, "3 4 \n", ""),
      run("where_holds_nowhere", {"--where=A+B = 4:6", "--col-name=B"}, "", ""),
  };
}

// The run log: one line per run, quoting, an existing log, a log that cannot
// be opened.
std::vector<cli_case> log_cases() {
  const std::string log_before = "2020-01-01 00:00:00 orvex old.fits\n";
  std::vector<cli_case> cases{
      {"two_inputs_one_line",
       {"a.fits", "b.fits"},
       {{"a.fits", obs}, {"b.fits", obs}},
       filename_line("a.fits") + filename_line("b.fits"),
       "",
       0,
       with_log(merged(all_parts("a"), all_parts("b")), " orvex a.fits b.fits\n")},
      {"quoted_words",
       {"--col-name=A,B", "my obs.fits", "*.fits"},
       {{"my obs.fits", obs}, {"*.fits", obs}},
       filename_line("my obs.fits") + filename_line("*.fits"),
       // The inputs hold no table.
       "orvex: my obs.fits: --col-name: no table has the column A\n"
       "orvex: my obs.fits: --col-name: no table has the column B\n"
       "orvex: *.fits: --col-name: no table has the column A\n"
       "orvex: *.fits: --col-name: no table has the column B\n",
       1,
       with_log(merged(all_parts("my obs"), all_parts("*")),
                " orvex \"--col-name=A,B\" \"my obs.fits\" \"*.fits\"\n")},
      {"quote_and_tab_unchanged",
       {"say\"hi\"\t.fits"},
       {{"say\"hi\"\t.fits", obs}},
       filename_line("say\"hi\"\t.fits"),
       "",
       0,
       with_log(all_parts("say\"hi\"\t"), " orvex say\"hi\"\t.fits\n")},
      // An empty word is a blank with nothing after it; as a file name it
      // cannot be opened.
      {"empty_word",
       {"obs.fits", ""},
       {{"obs.fits", obs}},
       filename_line("obs.fits") + filename_line(""),
       "orvex: : cannot open: No such file or directory\n",
       1,
       with_log(all_parts("obs"), " orvex obs.fits \n")},
      {"program_path_as_given",
       {"obs.fits"},
       {{"obs.fits", obs}},
       filename_line("obs.fits"),
       "",
       0,
       with_log(all_parts("obs"), " ./bin/orvex.exe obs.fits\n"),
       "./bin/orvex.exe",
       "orvex"},
      {"appended_to_an_existing_log",
       {"obs.fits"},
       {{"obs.fits", obs}, {"logfile", log_before}},
       filename_line("obs.fits"),
       "",
       0,
       with_log(all_parts("obs"), log_before + " orvex obs.fits\n")},
      // A log that cannot be opened: a message without a line end, the run
      // goes on, and the status is not affected.
      {"log_cannot_be_opened",
       {"obs.fits"},
       {{"obs.fits", obs}},
       filename_line("obs.fits"),
       "No logfile entry",
       0,
       all_parts("obs"),
       "orvex",
       "orvex",
       {"logfile"}},
      {"log_message_runs_on_into_the_next",
       {"obs.fits", "missing.fits"},
       {{"obs.fits", obs}},
       filename_line("obs.fits") + filename_line("missing.fits"),
       "No logfile entryorvex: missing.fits: cannot open: No such file or directory\n",
       1,
       all_parts("obs"),
       "orvex",
       "orvex",
       {"logfile"}},
      {"log_cannot_be_opened_quiet",
       {"--quiet", "obs.fits"},
       {{"obs.fits", obs}},
       filename_line("obs.fits"),
       "",
       0,
       all_parts("obs"),
       "orvex",
       "orvex",
       {"logfile"}},
      {"log_cannot_be_opened_silent",
       {"obs.fits", "--silent"},
       {{"obs.fits", obs}},
       filename_line("obs.fits"),
       "",
       0,
       all_parts("obs"),
       "orvex",
       "orvex",
       {"logfile"}},
  };
  return cases;
}

// The output folder, the version, the listing and CSV on the same input.
std::vector<cli_case> output_cases() {
  const file_map input{{"obs.fits", obs}};
  const std::string listing =
      "obs.000  primary  BITPIX=8  NAXIS=0\nobs.001  IMAGE  EXTNAME=ONE  BITPIX=8  NAXIS=0\n"
      "obs.002  IMAGE  EXTNAME=TWO  BITPIX=8  NAXIS=0\nobs.003  IMAGE  EXTNAME=THREE  BITPIX=8  NAXIS=0\n";
  const std::string version = std::string(cli::Version) + "\n";
  // A table of two 1J columns whose data unit (16 bytes) the stream cuts.
  const std::string cut = fits_builder{}
                              .header(primary_cards)
                              .header({{"XTENSION", "'BINTABLE'"}, {"BITPIX", "8"}, {"NAXIS", "2"}, {"NAXIS1", "8"},
                                       {"NAXIS2", "2"}, {"TFIELDS", "2"}, {"TTYPE1", "'A B'"}, {"TFORM1", "'1J'"},
                                       {"TUNIT1", "'counts per second'"}, {"TFORM2", "'1J'"}})
                              .data(big_endian{}.i32(1).i32(2).i32(3).bytes(), {.pad_data = false})
                              .bytes();
  return {
      {"output_folder_missing", {"-o", "missing", "obs.fits"}, input, "",
       "orvex: missing: cannot use as output folder: No such file or directory\n", 1, {}},
      {"output_folder_empty", {"-o", "", "obs.fits"}, input, "",
       "orvex: : cannot use as output folder: No such file or directory\n", 1, {}},
      {"output_folder_is_a_file", {"--output-dir=obs.fits", "obs.fits"}, input, "",
       "orvex: obs.fits: cannot use as output folder: Not a directory\n", 1, {}},
      {"output_folder_prefix_and_slash", {"--ou=out/", "-p", "1", "obs.fits"}, input, filename_line("obs.fits"), "",
       0, {{"out/obs.001", comments(extension_cards("ONE"))}, {"logfile", " orvex --ou=out/ -p 1 obs.fits\n"}},
       "orvex", "orvex", {"out"}},
      {"later_output_folder_wins", {"-o", "-", "-o", "out", "-p", "0", "obs.fits"}, input, filename_line("obs.fits"),
       "", 0, {{"out/obs.000", comments(primary_cards)}, {"logfile", " orvex -o - -o out -p 0 obs.fits\n"}},
       "orvex", "orvex", {"out"}},
      {"version", {"obs.fits", "--version", "--bogus"}, input, version, "", 0, {}},
      {"version_prefix", {"--vers"}, {}, version, "", 0, {}},
      {"csv_of_no_table_writes_no_file", {"--csv", "obs.fits"}, input, filename_line("obs.fits"), "", 0,
       {{"logfile", " orvex --csv obs.fits\n"}}},
      {"list_ignores_what_decoding_uses", {"--list", "-o", "missing", "--exact", "-p", "2", "obs.fits"}, input,
       listing, "", 0, {{"logfile", " orvex --list -o missing --exact -p 2 obs.fits\n"}}},
      {"list_header_cut", {"--list", "obs.fits"}, {{"obs.fits", obs.substr(0, 2880 + 160)}},
       "obs.000  primary  BITPIX=8  NAXIS=0\nobs.001  IMAGE  BITPIX=8  NAXIS=0\n",
       "orvex: obs.fits: part 1: the stream ends inside the header\n", 1, {{"logfile", " orvex --list obs.fits\n"}}},
      {"list_data_unit_cut", {"--list", "cut.fits"}, {{"cut.fits", cut}},
       "cut.000  primary  BITPIX=8  NAXIS=0\ncut.001  BINTABLE  2 rows x 2 columns\n"
       "    1  A B  1J  counts per second\n    2    1J\n",
       "orvex: cut.fits: part 1: the stream ends inside the data unit: 12 of 16 bytes\n", 1,
       {{"logfile", " orvex --list cut.fits\n"}}},
      // Standard output on a full disk ends the run: nothing more could be written.
      {"onto_a_full_disk", {"-o", "-", "obs.fits", "obs.fits"}, input, "",
       filename_line("obs.fits") + "orvex: standard output: write failed: No space left on device\n", 1,
       {{"logfile", " orvex -o - obs.fits obs.fits\n"}}, "orvex", "orvex", {}, {}, "/dev/full"},
      {"list_missing_input", {"--list", "obs.fits", "none.fits", "obs.fits"}, input, listing,
       "orvex: none.fits: cannot open: No such file or directory\n", 1,
       {{"logfile", " orvex --list obs.fits none.fits obs.fits\n"}}},
  };
}

std::vector<cli_case> all_cases() {
  std::vector<cli_case> all;
  for (auto part : {usage_cases, option_cases, column_cases, log_cases, output_cases}) {
    for (cli_case& c : part()) all.push_back(std::move(c));
  }
  return all;
}

class spine_cli_e2e : public ::testing::TestWithParam<std::tuple<cli_case, bool>> {};

TEST_P(spine_cli_e2e, run) {
  const auto& [c, compressed] = GetParam();
  run_options o{.args = c.args, .inputs = c.inputs, .folders = c.folders, .argv0 = c.argv0, .stdout_path = c.stdout_path};
  o.env = {{"POSIXLY_CORRECT", std::nullopt}};
  o.env.insert(o.env.end(), c.env.begin(), c.env.end());
  if (compressed) {
    for (auto& [name, bytes] : o.inputs) {
      if (name != "logfile") bytes = gzip(bytes);
    }
  }
  const run_result r = run_orvex(o);
  ASSERT_TRUE(r.exited) << r.describe();
  EXPECT_EQ(r.exit_code, c.status) << r.describe();
  if (c.out == help) {
    EXPECT_TRUE(is_full_help(r.out, c.program));
  } else {
    EXPECT_EQ(visible(r.out), visible(c.out));
  }
  EXPECT_EQ(visible(r.err), visible(c.err));
  file_map files = r.outputs();
  ASSERT_TRUE(strip_log_time_stamps(files, r));
  EXPECT_TRUE(same_files(files, c.files));
}

INSTANTIATE_TEST_SUITE_P(cases, spine_cli_e2e, ::testing::Combine(::testing::ValuesIn(all_cases()), ::testing::Bool()),
                         [](const auto& info) {
                           return std::get<0>(info.param).name + (std::get<1>(info.param) ? "_gzip" : "_plain");
                         });

// A reader of standard output that has gone under -o - ends the run
// quietly with status 1, before the rest of the input is decoded.
TEST(spine_cli_e2e_stdout, reader_gone) {
  big_endian rows;
  for (std::int32_t i = 0; i < 300000; ++i) rows.i32(i);
  const std::string big =
      fits_builder{}.header(primary_cards).bintable({{"TTYPE1", "'N'"}, {"TFORM1", "'1J'"}}, rows.bytes()).bytes();
  const run_result gone = run_orvex({.args = {"-o", "-", "big.fits"}, .inputs = {{"big.fits", big}}, .stdout_limit = 100});
  ASSERT_TRUE(gone.exited) << gone.describe();
  EXPECT_EQ(gone.exit_code, 1);
  EXPECT_EQ(gone.err.find("orvex:"), std::string::npos) << gone.describe();
  EXPECT_EQ(gone.err.find("100%\n"), std::string::npos) << "the table was decoded to its end";
  file_map files = gone.outputs();
  ASSERT_TRUE(strip_log_time_stamps(files, gone));
  EXPECT_TRUE(same_files(files, {{"logfile", " orvex -o - big.fits\n"}}));
}

// -p NAME finds the name in a header longer than the look-ahead: 4,000
// cards, EXTNAME among the first.
TEST(spine_cli_e2e, part_name_in_a_header_of_thousands_of_cards) {
  std::vector<card> cards{{"EXTNAME", "'EVENTS'"}, {"TTYPE1", "'A'"}, {"TFORM1", "'1J'"}};
  for (int i = 0; i < 4000; ++i) cards.push_back("COMMENT   a long history");
  const std::string fits = fits_builder{}.empty_primary().bintable(cards, big_endian{}.i32(5).i32(6).bytes()).bytes();
  const run_result r = run_orvex({.args = {"--no-comments", "-p", "events", "t.fits"}, .inputs = {{"t.fits", fits}}});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0) << r.describe();
  ASSERT_EQ(r.files.count("t.001"), 1U) << r.describe();
  EXPECT_EQ(r.files.at("t.001"), "5 \n6 \n");
  EXPECT_EQ(r.files.count("t.000"), 0U);
}

}  // namespace
}  // namespace orvex::test
