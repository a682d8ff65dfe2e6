#!/bin/bash
# zk-check.exe looks into running games and changes nothing there: it calls no
# function that writes another process's memory or protection, makes or changes a
# thread in it, debugs it or ends it, neither by its import table nor by a name it
# could look up at run time (GetProcAddress). It does import what reading needs, so
# that this check cannot pass on a checker that reads nothing.
#
#   check_reads_only.sh OBJDUMP ZK-CHECK.EXE
set -u
objdump=$1
checker=$2
headers=$("$objdump" -p "$checker") || { echo "cannot read $checker"; exit 1; }
imported=$(printf '%s\n' "$headers" | awk '
    /^\tDLL Name: / { dll = tolower($3); next }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print $3; next }
    /^$/ { dll = "" }' | sort -u)
status=0
for needed in OpenProcess ReadProcessMemory K32EnumProcesses QueryFullProcessImageNameW; do
    grep -qxF "$needed" <<< "$imported" || { echo "FAILED: $needed is not imported: does it still look?"; status=1; }
done
forbidden='WriteProcessMemory VirtualAllocEx VirtualAlloc2 VirtualFreeEx VirtualProtectEx CreateRemoteThread
CreateRemoteThreadEx RtlCreateUserThread NtCreateThreadEx OpenThread SuspendThread ResumeThread SetThreadContext
Wow64SetThreadContext QueueUserAPC NtSuspendProcess NtResumeProcess DebugActiveProcess DebugBreakProcess
TerminateProcess NtWriteVirtualMemory DuplicateHandle SetProcessAffinityMask SetPriorityClass'
for name in $forbidden; do
    if grep -qxF "$name" <<< "$imported"; then
        echo "FAILED: zk-check.exe imports $name"
        status=1
    elif LC_ALL=C grep -qaF "$name" "$checker"; then
        echo "FAILED: zk-check.exe holds the name $name (a GetProcAddress of it?)"
        status=1
    fi
done
# Its manifest says asInvoker: Windows then does not virtualize it, so it sees a game
# folder under Program Files as it is, and a fix it may not make there fails.
LC_ALL=C grep -qaF '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' "$checker" ||
    { echo "FAILED: zk-check.exe carries no asInvoker manifest"; status=1; }
[ $status = 0 ] && echo "ok: zk-check.exe carries its asInvoker manifest and imports $(wc -l <<< "$imported") functions; it reads processes and names none of the $(wc -w <<< "$forbidden") that change one"
exit $status
