#ifndef VTCONSOLE_LAUNCHER_CLIENT_H
#define VTCONSOLE_LAUNCHER_CLIENT_H

// The Java client: the windowless runtime beside the launcher, a 128 MB heap, the DNS name
// service, the trust store and login configuration of the application directory, and the
// client archive (with a forward slash, as the runtime takes it).
constexpr char CLIENT_COMMAND_LINE[] =
    "jre\\bin\\javaw.exe -Xmx128m -Dsun.net.spi.nameservice.provider.1=dns,sun "
    "-Djavax.net.ssl.trustStore=cacerts -Djava.security.auth.login.config=auth.conf "
    "-jar lib/vt-client.jar";

#endif
