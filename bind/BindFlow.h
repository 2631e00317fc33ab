// Binding an account: the frame every binding shares and the three-legged OAuth 1.0 run
// of the services that follow that pattern. No window: the flow asks for the code and
// shows its message boxes through the session's window port, and reports its lines and
// the bound name through the session's outbox.
#pragma once
#include "services/Session.h"

// One binding run of the row: logs its start, runs the service's steps (the OAuth 1.0
// run below, or the row's own), and then either shows the failed step's message box
// (none for a cancelled code) and logs "绑定失败!", or writes the account's keys in one
// replace of the settings file, shows the name, commits the account and logs
// "绑定成功(name)!". A write that fails is a failed binding: its message box with the
// reason, then "绑定失败!". A failed run leaves the account as it was. True when bound.
bool BindAccount(CSession& session, const SServiceRow& row);

// The OAuth 1.0 run: gets a request token, opens the authorisation page and asks for
// the code, exchanges it for the access pair, asks for the account's name where the
// service needs that. The keys are the access pair, the user id where the service keeps
// one, then the name.
SBindOutcome RunOAuthBinding(const SServiceRow& row, CSession& session);
