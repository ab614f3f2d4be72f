// Tray clicks and double clicks, and the MDaemon menu command.
#include "app/tray_commands.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/mdaemon.h"
#include "check/mail_protocol.h"
#include "check/mailbox_table.h"

namespace postvane {

namespace {

// At most this many acknowledged UIDs wait to be marked read; past it the oldest are dropped.
constexpr std::size_t kMarkReadLimit = 65535;

// The messages the last check counted as new wait for the next check to mark them read.
void QueueMarkRead(MailboxRecord& mailbox) {
  std::vector<uint32_t>& marks = mailbox.ImapMarkReadUids;
  if (mailbox.ImapMarkReadUidValidity != mailbox.NewestImapUidValidity) marks.clear();
  mailbox.ImapMarkReadUidValidity = mailbox.NewestImapUidValidity;
  marks.insert(marks.end(), mailbox.ImapNewUids.begin(), mailbox.ImapNewUids.end());
  mailbox.ImapNewUids.clear();
  std::sort(marks.begin(), marks.end());
  marks.erase(std::unique(marks.begin(), marks.end()), marks.end());
  if (marks.size() > kMarkReadLimit) {
    marks.erase(marks.begin(), marks.end() - static_cast<std::ptrdiff_t>(kMarkReadLimit));
  }
}

}  // namespace

void AcknowledgeMailbox(ProgramState& state, UidlStore& uidls, int index) {
  if (index < 0 || index >= kUserMailboxes) return;
  MailboxRecord& mailbox = state.Mailboxes[index];
  if (EffectiveProtocol(mailbox.Protocol) == MailProtocol::Imap) {
    // No folder read since start-up (no UIDVALIDITY yet): the saved point stays.
    const bool moved = mailbox.NewestImapUidValidity != mailbox.ImapUidValidity ||
                       mailbox.NewestImapUid != mailbox.ImapLastUid;
    if (mailbox.MarkReadOnAck == kTrue && mailbox.NewestImapUidValidity != 0) {
      QueueMarkRead(mailbox);
    }
    if (mailbox.NewestImapUidValidity != 0 && moved) {
      mailbox.ImapUidValidity = mailbox.NewestImapUidValidity;
      mailbox.ImapLastUid = mailbox.NewestImapUid;
      uidls.SaveImapPoint(static_cast<int16_t>(index), mailbox.ImapUidValidity,
                          mailbox.ImapLastUid);
    }
  } else if (!mailbox.NewestUidl.empty()) {
    // No listing read since start-up: copying the empty id would erase the saved position.
    mailbox.UIDL = mailbox.NewestUidl;
    uidls.SaveUidl(static_cast<int16_t>(index), mailbox.UIDL);
  }
  mailbox.NewCount = 0;
  state.NotifiedCount[index] = 0;
}

void AcknowledgeAll(ProgramState& state, UidlStore& uidls) {
  for (int i = 0; i < kUserMailboxes; ++i) {
    if (state.Mailboxes[i].NewCount != 0) AcknowledgeMailbox(state, uidls, i);
  }
}

void OnTrayClick(ProgramState& state, UidlStore& uidls, int index) {
  if (state.General.TrayType == 0) {
    AcknowledgeAll(state, uidls);
  } else if (state.General.TrayType == 1) {
    if (index < 0 || index >= kUserMailboxes) return;
    if (state.Mailboxes[index].NewCount != 0) AcknowledgeMailbox(state, uidls, index);
  }
}

void OnTrayDoubleClick(ProgramState& state, Forms& forms, AppActions& actions) {
  const int16_t action = state.General.DoubleClick;
  if (action != kDoubleClickStatus) AcknowledgeAll(state, actions);

  if (action == kDoubleClickMailProgram) {
    actions.RunMailProgram();
  } else if (action == kDoubleClickStatus) {
    forms.ShowStatus();
  } else if (action == kDoubleClickCheckMail) {
    // Moving to the end-of-cycle slot under a running check would carry its dialogue into
    // the spare slot, or lose its QUIT reply, and drop the rest of the cycle with its
    // notification.
    if (!actions.CheckUnderWay()) state.CurrentMailbox = kEndOfCycle;
    actions.OnMinuteTimer();
  }
}

void RequestMDaemon(ProgramState& state) { state.MDaemonRequest = kMDaemonRequested; }

}  // namespace postvane
