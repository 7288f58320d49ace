"""FTP peer of the engine tests (pyftpdlib). Anonymous users get ROOT; the account USER/PASSWORD
gets ROOT/home. Every command is logged to ROOT/commands.log, each CWD argument to ROOT/cwd.log.
Usage: ftp_peer.py ROOT USER PASSWORD [MODE] [CERT KEY]
MODE: "active" (the default): PASV and EPSV are refused, so a client must open no data
      connection of its own;
      "passive": PORT and EPRT are refused, as on a server with active mode switched off;
      "unreachable": PORT and EPRT are accepted but the server never reaches the client (RETR
      answers 425), as behind NAT; passive works;
      "tls-required": FTP over TLS (explicit, AUTH TLS) with CERT and KEY, required before USER
      and for data; passive and active both work;
      "tls-offered": the same, but plain sessions are served too."""
import logging, os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

root, user, password = sys.argv[1:4]
mode = sys.argv[4] if len(sys.argv) > 4 else "active"
logging.basicConfig(level=logging.CRITICAL)
authorizer = DummyAuthorizer()
authorizer.add_anonymous(root)
os.makedirs(os.path.join(root, "home"), exist_ok=True)
authorizer.add_user(user, password, os.path.join(root, "home"), perm="elr")

base = FTPHandler
if mode.startswith("tls"):
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
    base = TLS_FTPHandler

    class EagerTlsData(TLS_DTPHandler):
        """Takes the TLS handshake of a data connection at once: a client may start it before
        its RETR, as curl does, where pyftpdlib would wait for the transfer command."""

        def __init__(self, sock, cmd_channel):
            super().__init__(sock, cmd_channel)
            if self._ssl_requested and self.connected:
                self.modify_ioloop_events(self.ioloop.READ)

        def readable(self):
            # A data channel that is read before its transfer counts as gone, handshakes too.
            return self._ssl_accepting or super().readable()


class Peer(base):
    fake_active = False

    def ftp_PASV(self, line):
        if mode == "active":
            return self.respond("502 Passive mode is not offered here.")
        self.fake_active = False
        return super().ftp_PASV(line)

    def ftp_EPSV(self, line):
        if mode == "active":
            return self.respond("502 Passive mode is not offered here.")
        self.fake_active = False
        return super().ftp_EPSV(line)

    def ftp_PORT(self, line):
        if mode == "passive":
            return self.respond("500 Illegal PORT command.")
        if mode == "unreachable":
            self.fake_active = True
            return self.respond("200 PORT command successful.")
        return super().ftp_PORT(line)

    def ftp_EPRT(self, line):
        if mode == "passive":
            return self.respond("500 Illegal EPRT command.")
        if mode == "unreachable":
            self.fake_active = True
            return self.respond("200 EPRT command successful.")
        return super().ftp_EPRT(line)

    def ftp_RETR(self, file):
        if self.fake_active:
            self.fake_active = False
            return self.respond("425 Can't open data connection.")
        return super().ftp_RETR(file)

    def pre_process_command(self, line, cmd, arg):
        with open(os.path.join(root, "commands.log"), "a") as log:
            log.write(cmd + "\n")
        if cmd == "CWD":
            with open(os.path.join(root, "cwd.log"), "a") as log:
                log.write(arg + "\n")
        return super().pre_process_command(line, cmd, arg)


Peer.authorizer = authorizer
if mode.startswith("tls"):
    Peer.dtp_handler = EagerTlsData
Peer.auth_failed_timeout = 0.1  # the refusal comes at once, not after the usual delay
if mode.startswith("tls"):
    from OpenSSL import SSL
    # TLS 1.2 at most: this server's data channel resets TLS 1.3 handshakes.
    context = SSL.Context(SSL.TLS_SERVER_METHOD)
    context.set_max_proto_version(SSL.TLS1_2_VERSION)
    context.use_certificate_chain_file(sys.argv[5])
    context.use_privatekey_file(sys.argv[6])
    Peer.ssl_context = context
    Peer.tls_control_required = mode == "tls-required"
    Peer.tls_data_required = mode == "tls-required"
server = FTPServer(("127.0.0.1", 0), Peer)
print("READY", server.address[1], flush=True)
server.serve_forever()
