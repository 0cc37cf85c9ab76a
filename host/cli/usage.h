// What `atshost help` and each subcommand's --help show besides the options:
// the syntax of the files they read and the exit statuses.
#ifndef ATSHOST_CLI_USAGE_H
#define ATSHOST_CLI_USAGE_H

namespace atshost {

const char* ScenarioSyntax();
const char* RouteSyntax();
const char* ExitStatuses();

}  // namespace atshost

#endif  // ATSHOST_CLI_USAGE_H
