#!/usr/bin/env python3
"""Writes the answer fixtures of tests/fixtures/answers (CR LF, Windows-1252, byte-exact).

The committed files are the reference; run this only to change them on purpose, then review the diff.
Each record is built by placing fields at their 1-based columns, so the layouts read like the file format.
"""
import pathlib

OUT = pathlib.Path(__file__).resolve().parents[2] / "fixtures" / "answers"


def rec(kind, fields, width=None):
    """A record: kind in column 1, each (column, text) placed at its column, blanks in between."""
    line = [" "] * max([width or 1] + [c - 1 + len(t) for c, t in fields])
    line[0] = kind
    for col, text in fields:
        line[col - 1:col - 1 + len(text)] = list(text)
    return "".join(line)


def header(code, rif, note, filler="HDRFILLER0000000  "):
    return code + filler + rif.ljust(20) + note


def order_p(code, req, miss, dlv, net, state, date, desc, note):
    return rec("P", [(2, code.ljust(13)), (15, req), (20, miss), (25, dlv), (40, net), (51, state), (52, date),
                     (100, desc.ljust(28)), (220, note.ljust(20))])


def avail_p(code, req, miss, dlv, net, state, date, public, vat, desc, reason):
    return rec("P", [(2, code.ljust(13)), (15, req), (20, miss), (25, dlv), (40, net), (51, state), (52, date),
                     (100, public), (111, vat), (125, desc.ljust(40)), (165, reason.ljust(20))])


def offer(code, valid, qmin, qfrom, qto, assigned, free, amount, otherqty="00000", pay="", otherdesc=""):
    return rec("O", [(2, code.ljust(13)), (15, valid), (27, qmin), (32, qfrom), (37, qto), (42, assigned),
                     (47, free), (52, amount), (76, otherqty), (81, pay.ljust(30)), (117, otherdesc.ljust(28))])


def doc_r(kind, series, number, date, pay, amount, net, topay, sundry):
    return rec("R", [(2, kind), (3, series), (5, number.rjust(10, "0")), (15, date), (37, pay.ljust(30)),
                     (72, amount), (83, net), (94, topay), (105, sundry)])


def doc_s(order, net):
    return rec("S", [(2, order.ljust(20)), (51, net)])


def doc_p(qty, price, desc):
    return rec("P", [(25, qty), (36, price), (52, desc.ljust(28))])


def write(name, lines):
    path = OUT / name
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes("".join(l + "\r\n" for l in lines).encode("cp1252"))


Z = "00000000000"
BLANK_MONEY = " " * 11

# Order answers (kind 02, order layout).
write("IFCK02_OUT_T000.DAT", [
    header("T000", "ORD-2006-000123", "Consegna prevista domani mattina"),
    order_p("012345678", "00010", "00000", "00010", "00000123450", " ", "20061231", "ASPIRINA 500MG 20CPR", ""),
    order_p("023456789", "00005", "00005", "00000", Z, "1", "00000000", "BENTELAN 1MG 10CPR", "Fornitore Sprov."),
    order_p("034567890", "12345", "00000", "12345", "01234500000", "*", "20070115", "ZIRTEC GOCCE", "Consegna parziale"),
    order_p("045678901", "00003", "00003", "00000", BLANK_MONEY, "@", "20061332", "AUGMENTIN 875MG", "Sospeso/Revocato"),
    offer("012345678", "20061231", "00001", "00001", "00010", "00005", "00000", "00000050000"),
    order_p("012345678", "00002", "00002", "00000", Z, "2", "20070228", "ASPIRINA 500MG 20CPR BIS", "Sprovvisto.Temp."),
    rec("P", [(2, "056789012".ljust(13)), (15, "00001"), (20, "00001")]),  # cut before the price
])
write("IFCK02_OUT_T115.DAT", [
    header("T115", "RIF-T115", "Nota della risposta T115"),
    order_p("111111111", "00001", "00000", "00001", "00000099990", " ", "20070301", "MOMENT 200MG", ""),
])
write("IFCK02_OUT_T116.DAT", [
    header("T116", "RIF-T116", "Ordine non accettato"),
    order_p("222222222", "00004", "00004", "00000", Z, "5", "20070302", "OKI BUSTINE", "Non Riconosciuto"),
])
write("IFCK02_OUT_BLANKHDR.DAT", [
    "T000" + " " * 60,
    order_p("333333333", "00002", "00000", "00002", "00000200000", " ", "20070303", "VOLTAREN EMULGEL", ""),
])
# The first line looks like a product but is in the header's place: no header fields, no row.
write("IFCK02_OUT_NOHDR.DAT", [
    order_p("444444444", "00001", "00000", "00001", "00000100000", " ", "20070304", "PRIMA RIGA", ""),
    order_p("555555555", "00001", "00000", "00001", "00000100000", " ", "20070304", "SECONDA RIGA", ""),
])

# Availability answer (kind 01, availability layout) with one to six offers per product.
PUB = "00001210000"  # 121.0000 with VAT
avail = [header("T000", "DISP-0001", "Offerte valide fino a fine mese")]
avail.append(offer("099999999", "20070131", "00001", "00001", "00005", "00001", "00000", "00000100000"))  # orphan
counts = [("900000003", 3, "TACHIPIRINA 500MG 20CPR"), ("900000001", 1, "ASPIRINA C 10CPR EFF"),
          ("800000005", 5, "ENTEROGERMINA 10FL"), ("900000002", 2, "BENAGOL PASTIGLIE"),
          ("800000004", 4, "FLUIFORT SCIROPPO"), ("700000006", 6, "VIVIN C 20CPR")]
for code, n, desc in counts:
    avail.append(avail_p(code, "00010", "00000", "00010", "00001000000", " ", "20070110", PUB, "10", desc, ""))
    for k in range(n):
        assigned = "%05d" % (10 * (k + 1))
        avail.append(offer(code, "2007013%d" % (k % 2), "%05d" % (k + 1), "%05d" % (k + 1), "%05d" % (10 * (k + 1)),
                           assigned, "%05d" % k, "%011d" % (900000 * (k + 1)), "00001", "RIMESSA DIRETTA %d GG" % (30 * (k + 1)),
                           "OMAGGIO %d" % (k + 1)))
    if code == "900000002":
        avail.append(rec("A", [(2, "ANNOTAZIONE LIBERA")]))
        avail.append(rec("C", [(2, "CONDIZIONI GENERALI")]))
avail.append(avail_p("600000007", "00003", "00003", "00000", Z, "3", "00000000", PUB, "10", "CEROTTI 20PZ",
                     "Sospeso/Revocato"))
avail.append(offer("600000008", "20070131", "00001", "00001", "00005", "00001", "00000", "00000100000"))  # before its P
avail.append(avail_p("600000008", "00001", "00000", "00001", "00000050000", "*", "20070120", PUB, "04", "GARZE STERILI",
                     "Consegna parziale"))
avail.append(avail_p("900000001", "00002", "00002", "00000", Z, "2", "20070201", PUB, "10", "ASPIRINA C 10CPR EFF",
                     "Sprovvisto.Temp."))
avail.append(offer("900000001", "20070131", "00002", "00002", "00004", "00002", "00000", "00000160000"))
write("IFCK01_OUT_MORVEN.DAT", avail)

# Documents answer (kind 03): every kind, duplicates and the orphan cases.
write("IFCK03_OUT_MORVEN.DAT", [
    header("T000", "DOCUMENTI", "Documenti del mese"),
    doc_p("00001", "00000010000", "RIGA PRIMA DI OGNI ORDINE"),
    doc_s("ORD-SENZA-DOC", "00000100000"),
    doc_p("00002", "00000010000", "RIGA DI ORDINE SENZA DOC"),
    doc_r("1", "A1", "1234", "20061215", "RIMESSA DIRETTA 30GG", "00001220000", "00001000000", "00001220000", Z),
    doc_s("ORD0001", "00001000000"),
    doc_p("00007", "00000050000", "ASPIRINA 500MG 20CPR"),
    doc_p("12345", "00000812345", "BENTELAN 1MG 10CPR"),
    doc_s("ORD0002", "00000200000"),
    doc_p("00010", "00000020000", "GARZE STERILI"),
    doc_r("2", "B2", "55", "20061220", "BONIFICO", "00000500000", "00000400000", "00000500000", "00000012500"),
    doc_p("00003", "00000010000", "RIGA DOPO R SENZA S"),
    doc_r("3", "C3", "77", "20061231", "RIBA 60GG", Z, Z, Z, Z),
    doc_s("ORD0003", Z),
    doc_s("ORD0003", Z),
    doc_r("4", "D4", "88", "20070105", "COMPENSAZIONE", "00000300000", "00000300000", "00000300000", Z),
    doc_r("5", "E5", "99", "20061332", "", BLANK_MONEY, BLANK_MONEY, BLANK_MONEY, BLANK_MONEY),
    doc_r("9", "F6", "11", "20070110", "ALTRO", "00000100000", Z, Z, Z),
    doc_r("1", "A1", "1234", "20061216", "RIMESSA DIRETTA 30GG", "00001220000", "00001000000", "00001220000", Z),
    doc_s("ORD0001", "00001000000"),
    doc_p("00001", "00000050000", "ASPIRINA RIPETUTA"),
])

# 2003 answer work files: ordseq.ma1 (62 columns) wins over ordseq.man (42 columns).
def man(code, qty, desc, state):
    return code.rjust(9) + qty + desc.rjust(28) + state


write("app2003_ma1/ordseq.ma1", [
    "CLIENTE01" + "0001" + " " * 49,
    man("123456789", "0005", "ZIRTEC GOCCE", "1") + "Fornitore sprovvisto",
    man("234567890", "0010", "ASPIRINA 500MG 20CPR", "@") + " " * 20,
    man("345678901", "0002", "BENTELAN 1MG 10CPR", "*") + "Consegna parziale   ",
])
write("app2003_ma1/ordseq.man", [
    "CLIENTE01" + "0001" + " " * 29,
    man("999999999", "0001", "SOLO IN ORDSEQ.MAN", "1"),
])
write("app2003_man/ordseq.man", [
    "CLIENTE01" + "0002" + " " * 29,
    man("111111111", "0004", "NON TRATTATO", "4"),
    man("222222222", "0001", "CODICE IGNOTO", "Z"),
    man("333333333", "0006", "CONSEGNATO", "@"),
    man("444444444", "0003", "SCARSA", "8"),
    man("555555555", "0002", "FORNITORE", "F"),
])

# Messages and news of a session.
write("app_messages/msgrx.txt", [
    "Messaggio da :CLIENTE01",
    "Data:10/12/2026 Time:10:15:00",
    "Chiusura magazzino il 24 dicembre.",
])
write("app_messages/news/eaggdati", [
    "listino_gennaio.txt",
    "promozioni.txt",
])
