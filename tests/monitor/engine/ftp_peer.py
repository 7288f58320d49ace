"""FTP peer of the engine tests (pyftpdlib), active mode only: PASV and EPSV are refused, so a
client must open no data connection of its own. Anonymous users get ROOT; the account
USER/PASSWORD gets ROOT/home. Every command is logged to ROOT/commands.log. Usage: ftp_peer.py ROOT USER PASSWORD"""
import logging, os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

root, user, password = sys.argv[1:4]
logging.basicConfig(level=logging.CRITICAL)
authorizer = DummyAuthorizer()
authorizer.add_anonymous(root)
os.makedirs(os.path.join(root, "home"), exist_ok=True)
authorizer.add_user(user, password, os.path.join(root, "home"), perm="elr")


class ActiveOnly(FTPHandler):
    def ftp_PASV(self, line):
        self.respond("502 Passive mode is not offered here.")

    def ftp_EPSV(self, line):
        self.respond("502 Passive mode is not offered here.")

    def pre_process_command(self, line, cmd, arg):
        with open(os.path.join(root, "commands.log"), "a") as log:
            log.write(cmd + "\n")
        if cmd == "CWD":
            with open(os.path.join(root, "cwd.log"), "a") as log:
                log.write(arg + "\n")
        return super().pre_process_command(line, cmd, arg)


ActiveOnly.authorizer = authorizer
server = FTPServer(("127.0.0.1", 0), ActiveOnly)
print("READY", server.address[1], flush=True)
server.serve_forever()
