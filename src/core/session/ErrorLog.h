#pragma once

#include <string>

class TCustomNetSocket;

// The one error log, "errorlog.txt" in the home folder. Every handler that
// catches an exception writes one entry: the time, the build, the peer's
// address and port ("None" for an entry without a connection) and the message.
// Works before anything else exists and never raises: it runs inside handlers
// that are already dealing with an error.
void LogError(const std::string& address, const std::string& port, const std::string& message);

// "Version: " and the program's four-part version, as each entry names it.
std::string ProgramBuildText();

// "Winsock Error " + number + " : " + its description, with the address
// given: how every socket error is logged, also one on a link not (or no
// longer) connected, whose peer address cannot be asked.
void LogSocketError(const std::string& address, const std::string& port, int error);
// A socket error as the windows report it: logged as "Winsock Error " + number
// + " : " + its description with the socket's peer address and port ("error"
// while not connected), then the socket is closed and the user hears the
// error beep.
void ReportSocketError(TCustomNetSocket& socket, int error);
