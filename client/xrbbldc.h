// The build conversation with the server.
#ifndef XRB_CLIENT_XRBBLDC_H
#define XRB_CLIENT_XRBBLDC_H

int processCmd();
// Connects to serverHostName at serverPort.
int connect2server();
// Returns the connected socket; on failure reports it and ends the process
// with status 1.
int connect2server(char const* host, char const* port);

#endif
