"""The rows of the result table and how they print as Markdown."""

from dataclasses import dataclass, field


@dataclass
class Row:
    what: str
    a: str = ""  # what column A measured
    b: str = ""
    wall_a: float = None
    wall_b: float = None
    cpu_a: float = None
    cpu_b: float = None
    goal: float = None  # the wall ratio A/B must not exceed this
    notes: list = field(default_factory=list)
    ratio: float = None  # given when A and B are not timed here (the probe)

    def wall_ratio(self):
        if self.ratio is not None:
            return self.ratio
        return _ratio(self.wall_a, self.wall_b)

    def verdict(self):
        r = self.wall_ratio()
        if self.goal is None or r is None:
            return ""
        return f"≤ {self.goal:.2f} {'met' if r <= self.goal else '**missed**'}"


def _ratio(a, b):
    return a / b if a is not None and b else None


def _num(value, digits=2):
    return "–" if value is None else f"{value:.{digits}f}"


HEADER = ["What", "A", "B", "wall A s", "wall B s", "wall A/B", "CPU A s", "CPU B s",
          "CPU A/B", "Goal (wall A/B)", "Notes"]


def markdown(rows):
    lines = ["| " + " | ".join(HEADER) + " |", "|" + "|".join("---" for _ in HEADER) + "|"]
    for r in rows:
        cells = [r.what, r.a, r.b, _num(r.wall_a), _num(r.wall_b), _num(r.wall_ratio(), 3),
                 _num(r.cpu_a), _num(r.cpu_b), _num(_ratio(r.cpu_a, r.cpu_b), 3), r.verdict(),
                 "; ".join(r.notes)]
        lines.append("| " + " | ".join(c.replace("|", "\\|") for c in cells) + " |")
    return "\n".join(lines)
