import mivra.runtime.MivraObject;
import natural.regexp.*;

/** Finds dates in a text, with their parts, and rewrites them. */
public class RegExpMatches {
    public static void main(String[] args) {
        try (RegExp re = new RegExp()) {
            re.setPattern("(\\d{4})-(\\d{2})-(\\d{2})");
            re.setGlobal(true);
            String text = "from 2026-12-08 to 2027-01-15";
            System.out.println(re.Test(text));
            IMatchCollection2 matches = re.Execute(text).as(IMatchCollection2.class);
            System.out.println(matches.getCount() + " matches");
            for (MivraObject each : matches) {
                IMatch2 match = each.as(IMatch2.class);
                ISubMatches parts = match.getSubMatches().as(ISubMatches.class);
                System.out.println(match.getValue() + " at " + match.getFirstIndex() + ": year "
                        + parts.getItem(0).asString());
            }
            System.out.println(re.Replace(text, "$3.$2.$1"));
        }
    }
}
