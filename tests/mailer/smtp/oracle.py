"""Independent decoders for the mail tests.

  oracle.py b64 FILE    base64-decoded bytes of FILE on stdout
  oracle.py qp FILE     quoted-printable-decoded bytes of FILE on stdout
  oracle.py mail FILE   FILE parsed by the email package, one "key=value" line per fact,
                        values with backslash escapes for CR, LF, TAB and backslash
  oracle.py modern FILE FILE parsed as today's mail clients do (policy.default): every defect
                        of the message, its parts and its header fields, and the decoded
                        subject, addresses, Message-ID and plain-text body (UTF-8)
"""
import base64
import binascii
import email
import email.policy
import email.utils
import quopri
import sys


def escaped(value):
    return (str(value).replace("\\", "\\\\").replace("\r", "\\r")
            .replace("\n", "\\n").replace("\t", "\\t"))


def dump_part(part, path, out):
    key = "part[%s]." % path
    out.append((key + "type", part.get_content_type()))
    out.append((key + "boundary", part.get_boundary() or ""))
    out.append((key + "charset", part.get_content_charset() or ""))
    out.append((key + "cte", part.get("Content-Transfer-Encoding", "")))
    out.append((key + "disposition", part.get_content_disposition() or ""))
    out.append((key + "filename", part.get_filename() or ""))
    out.append((key + "name", part.get_param("name") or ""))
    out.append((key + "content-id", part.get("Content-ID", "")))
    if part.is_multipart():
        children = part.get_payload()
        out.append((key + "children", len(children)))
        for i, child in enumerate(children):
            dump_part(child, (path + "." if path else "") + str(i), out)
    else:
        out.append((key + "payload", binascii.hexlify(part.get_payload(decode=True) or b"").decode()))


def dump_mail(raw):
    message = email.message_from_bytes(raw, policy=email.policy.compat32)
    out = [("order", ",".join(message.keys()))]
    for name, value in message.items():
        out.append(("header." + name, value))
    out.append(("to", ";".join("%s|%s" % pair for pair in email.utils.getaddresses(message.get_all("To", [])))))
    out.append(("from", ";".join("%s|%s" % pair for pair in email.utils.getaddresses(message.get_all("From", [])))))
    date = message.get("Date")
    if date:
        out.append(("date", email.utils.parsedate_to_datetime(date).isoformat()))
    defects = list(message.defects)
    for part in message.walk():
        defects += part.defects
    out.append(("defects", len(defects)))
    dump_part(message, "", out)
    return "".join("%s=%s\n" % (key, escaped(value)) for key, value in out)


def dump_modern(raw):
    message = email.message_from_bytes(raw, policy=email.policy.default)
    defects = []
    for part in message.walk():
        defects += part.defects
        for name, value in part.items():
            defects += getattr(value, "defects", [])
            if len(name) + len(str(value)) > 998:
                defects.append("line of %s too long" % name)
    out = [("defects", len(defects)),
           ("defect-list", "; ".join("%s %s" % (type(d).__name__, d) for d in defects))]
    for name in ("subject", "from", "to", "message-id", "date", "content-type"):
        out.append((name, str(message.get(name, ""))))
    body = message.get_body(("plain",))
    if body is not None:
        out.append(("body", body.get_content()))
        out.append(("body-charset", body.get_content_charset() or ""))
        out.append(("body-cte", body.get("Content-Transfer-Encoding", "")))
    return "".join("%s=%s\n" % (key, escaped(value)) for key, value in out)


def main():
    mode, path = sys.argv[1], sys.argv[2]
    data = open(path, "rb").read()
    if mode == "b64":
        sys.stdout.buffer.write(base64.b64decode(data))
    elif mode == "qp":
        sys.stdout.buffer.write(quopri.decodestring(data))
    elif mode == "mail":
        sys.stdout.write(dump_mail(data))
    elif mode == "modern":
        sys.stdout.buffer.write(dump_modern(data).encode("utf-8"))
    else:
        sys.exit("unknown mode " + mode)


if __name__ == "__main__":
    main()
