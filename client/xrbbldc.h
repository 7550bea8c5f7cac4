// The build conversation with the server.
#ifndef XRB_CLIENT_XRBBLDC_H
#define XRB_CLIENT_XRBBLDC_H

int processCmd();
int connect2server();

#endif
