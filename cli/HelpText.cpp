// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/HelpText.h"

const char* HelpText() {
  return R"(Usage: ferrox-cli [options] SOURCE...
Copies each SOURCE, a file or a folder tree (typically on a network share),
into the destination folder, one source after the other in the order given.
A source that cannot be reached is tried again until the reconnect limit runs
out; a copy that breaks off is continued where it stopped. A file that exists
in the destination at least as long as the source is left as it is.

Options may stand before, between or after the sources; "--" ends them.
  -d, --dest DIR             destination folder; without it, or when DIR is
                             empty, the current directory
  -b, --buffer-size BYTES    size of the copy buffer, the largest block read
                             at once (default 1048576, or 10485760 with
                             --check; at least 1024 is used)
  -r, --reconnect-limit SEC  how long to keep trying a source that cannot be
                             reached or read (default 300)
  -c, --check                check after copy: every 4096-byte page is read
                             again from the source before it is written, past
                             the system's file cache so that the re-read really
                             reaches the source; a page whose readings differ is
                             read until a majority settles it, and each such
                             difference counts as an error fixed. Every page is
                             read at least once more, in requests of about 4 KiB
                             that no cache can answer, many of them at once:
                             twice the data, and several times the time (here a
                             GiB that copies in 0.6 s from the cache, or 1.1 s
                             from the disk, takes about 5 s). Raises the default
                             buffer size to 10485760; an explicit --buffer-size
                             wins.
      --check-cycles N       how many extra readings of each page check after
                             copy makes at least (default 1; 0 checks nothing)
      --parts N              copy by parts: write the header of each file
                             followed by its part N (1 to 65535)
      --part-size BYTES      size of one part (default 104857600)
      --header BYTES         size of the header written before the part
                             (default 1024)
      --reget                continue an existing part file instead of
                             writing it again
      --pass-unreadable      for damaged media: a stretch that cannot be read
                             within the reconnect limit is read page by page,
                             the 4096-byte pages that keep failing are written
                             as zeros and listed in NAME.unreadable beside the
                             copy; a later run reads them again
      --connections N        connections to one server at most, for files
                             fetched ahead and the check's readings (1 to 64,
                             default 32; 1: one file at a time)
      --log FILE             also append every log message to FILE (below)
      --json                 write JSON lines instead of the log text (below)
      --scan                 copy nothing: list every source, log its totals
                             and count its files whose copy in the
                             destination is complete, partial, missing or
                             differs, and the bytes a run would read; the
                             destination is not touched and need not exist
      --credentials FILE     log on to shares with the user name, password
                             and domain in FILE ("username=", "password=",
                             "domain=" lines)
  -U, --user [DOMAIN\]USER   log on to shares as USER; the password comes
                             from --credentials, the PASSWD environment
                             variable or, on a terminal, a prompt
  -h, --help                 show this help and exit
      --version              show the version and exit

Numbers are unsigned decimal numbers; blanks around them and one plus sign
are allowed, only the first 31 characters count, and values above 4294967295
are read as 4294967295.

Output: the log as the window shows it. On a terminal its last line is
rewritten in place and the terminal's title shows the progress; otherwise
only completed lines are written, and the last line once at the end.

--log FILE: FILE is opened for appending and never emptied. Every message,
also one that the log later replaces, becomes one line: the local time as
"YYYY-MM-DD HH:MM:SS ", then the message with each carriage return written as
\r, each line feed as \n and each backslash as \\. Bytes after a zero byte of
a message are left out, as in the log.

--json: one JSON object per line instead of the text:
  {"event":"log","text":T}  every message exactly as formatted
  {"event":"progress","file_label":S,"file_bar":N,"total_label":S,
   "total_bar":N,"caption":S,"file_number":N,"file_count":N,
   "file_permille":N,"bytes_done":N,"total_bytes":N}  every progress update
  {"event":"left_out","index":N,"path":S,"cause":S,"folder":B}  every file
   or folder a source passed over because it failed on its own, before the
   source's own event
  {"event":"source","index":N,"path":S,"result":N,"crc32":S,
   "errors_fixed":N,"canceled":B}  every source that ended
  {"event":"scan","index":N,"path":S,"files":N,"folders":N,"bytes":N,
   "complete_files":N,"partial_files":N,"missing_files":N,
   "differing_files":N,"bytes_to_copy":N}  every source --scan scanned
  {"event":"paused"}, {"event":"continued"}  the copy starts waiting at a
   pause (Ctrl-Z) and goes on
  {"event":"end","result":N,"exit":N}  once at the end; result is the last
   source's result (16: the run could not start; after a second Ctrl-C the
   bitwise or of the results so far; with --scan the bitwise or of all)
Texts are bytes: valid UTF-8 is passed through, control characters are
escaped, and each byte of an invalid UTF-8 sequence is written as the escape
\udcXX, XX being the byte's value in hex (the "surrogate escape" convention:
decoders that keep lone surrogates give back the original bytes).

Ctrl-C (or SIGTERM) aborts the run: a source still being waited for ends in
"connection failed", one being copied in "canceled". A second Ctrl-C leaves
at once.

Ctrl-Z (SIGTSTP) pauses the copy before its next read ("paused") and stops
the program; fg or bg (SIGCONT) goes on from there. The time paused or
stopped does not count against the reconnect limit.

Exit status:
  0         every source was copied
  2, 4, 8   the bitwise or of the sources' failures: 2 read or connection
            failure, 4 write failure, 8 a folder listing was incomplete
  64        a file was skipped by the user (the window's Skip File), its
            partial copy kept, or'ed with the sources' failures
  32        output could not be written (standard output or the --log
            file), or'ed with the sources' failures; the copy goes on, and
            the first failure of each is named on standard error
  1         usage error, the run could not start (not enough memory), or
            the text of --help or --version could not be written
  130       the run was aborted with Ctrl-C or SIGTERM
)";
}
