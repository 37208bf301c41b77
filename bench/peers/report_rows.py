# The PDF report's peer: a reportlab script printing the rows of a search
# of all four fields as the search report lays them out (two lines a
# feature, fifteen a page, title, column heads and a page footer).
#
#   python3 report_rows.py DATA_DIR OUT.pdf TEXT
import sqlite3
import sys

from reportlab.lib.pagesizes import letter
from reportlab.pdfgen import canvas

data, out, text = sys.argv[1:4]
db = sqlite3.connect(f"file:{data}/FEATURES.KVX?mode=ro", uri=True)
for name, alias in (("SUPPLIER", "s"), ("REVIEW", "r"), ("CATEGORY", "c")):
    db.execute(f"ATTACH 'file:{data}/{name}.KVX?mode=ro' AS {alias}")
like = f"%{text}%"
rows = db.execute(
    """SELECT f.PRODUCT, r.REVIEW, s.SUPPLIER, c.CATEGORY, f.HS, f.V, f.ISSUE
       FROM main.UNNAMED f
       LEFT JOIN r.UNNAMED r ON r.REFERENCE = f.REVIEW
       LEFT JOIN s.UNNAMED s ON s.REFERENCE = f.SUPPLIER
       LEFT JOIN c.UNNAMED c ON c.REFERENCE = f.CATEGORY
       WHERE f.PRODUCT LIKE ? OR r.REVIEW LIKE ? OR s.SUPPLIER LIKE ? OR c.CATEGORY LIKE ?
       ORDER BY f.ISSUE, f.rowid""",
    (like, like, like, like),
)
c = canvas.Canvas(out, pagesize=letter)
W, H = letter


def head():
    c.setFont("Helvetica-Bold", 12)
    c.drawCentredString(W / 2, H - 40, "Search Features by String.. " + text)
    c.setFont("Helvetica-Bold", 8)
    for x, t in ((40, "PRODUCT"), (250, "REVIEW"), (370, "SUPPLIER")):
        c.drawString(x, H - 70, t)
    for x, t in ((40, "CATEGORY"), (250, "HARD/SOFTWARE"), (370, "VERSION"), (500, "ISSUE NO.")):
        c.drawString(x, H - 80, t)
    c.setFont("Helvetica", 8)


n = page = 0
y = 0.0
for product, review, supplier, category, hs, version, issue in rows:
    if n % 15 == 0:
        if n:
            c.drawString(W - 100, 30, "Page %d" % page)
            c.showPage()
        page += 1
        head()
        y = H - 100
    c.drawString(40, y, product or "")
    c.drawString(250, y, review or "")
    c.drawString(370, y, supplier or "")
    c.drawString(40, y - 10, category or "")
    c.drawString(250, y - 10, hs or "")
    c.drawString(370, y - 10, version or "")
    c.drawRightString(540, y - 10, "%.2f" % issue)
    y -= 40
    n += 1
c.drawString(W - 100, 30, "Page %d" % page)
c.showPage()
c.save()
