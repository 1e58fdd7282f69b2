// What zr4812 makes of a command line before and after the console: the
// job's steps for the command, the check of a target folder, what a dry
// run of restore-archive would do, and the lines printed at the end.
#pragma once

#include <optional>
#include <string>

#include "cli/options.h"
#include "files/archive_check.h"
#include "jobs/console_job.h"

namespace zr::cli {

// Why files cannot be kept in `folder`, or nothing. Checked before the
// console is asked for anything: a get into a folder that is not there
// would fetch every file only to drop it.
std::optional<std::string> FolderProblem(const std::string& folder);
// The job's steps for the command of `o`.
void Plan(const Options& o, ConsoleJob& job);
// What restore-archive would do, without a console; the exit status.
int PrintDryRun(const Options& o, const ArchiveContents& archive);
// The listing, the comparison or the summary line on stdout once the job
// is done; the exit status.
int Report(const Options& o, const ConsoleJob& job);

} // namespace zr::cli
