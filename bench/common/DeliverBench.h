#pragma once
// Delivery through the real command line ("tsubame deliver") to Postfix's smtp-sink on
// loopback, beside smtp-source sending as many mails (individual mode) and as many mails of
// 51 recipients (batch mode) to the same sink. Prints, with the name prefix given:
//   <prefix>.individual.rate / smtp-source.individual.rate   mails/s
//   <prefix>.batch.rate                                       mails/s
//   <prefix>.batch.recipients / smtp-source.batch.recipients  recipients/s
//   ratio <prefix>.individual_vs_smtp-source, ratio <prefix>.batch_vs_smtp-source
//   <prefix>.<mode>.wal_peak        MB, the store's -wal file at its largest during the run
//   <prefix>.<mode>.rss_peak        MB, the delivering process's peak resident memory
//   <prefix>.<mode>.journal_commits / journal_syncs   per 1,000 mails
// The journal's figures come from the delivery's own counters (TSUBAME_JOURNAL_STATS=1 makes
// it say "journal: commits N syncs M mails K" on stderr); a program without them is run a
// second time under strace, which counts the syncs (fsync, fdatasync) but not the commits.
//
// smtp-sink and smtp-source come from the postfix package, which bench/run installs (without
// a configuration, its daemon never started).

// Returns the exit status for main: 0, or 1 when the tools are missing or a run failed.
int RunDeliverBench(int members, const char *prefix);
