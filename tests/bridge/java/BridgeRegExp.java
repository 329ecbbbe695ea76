import mivra.runtime.MivraObject;
import mvx.regexp.IMatch2;
import mvx.regexp.IMatchCollection2;
import mvx.regexp.IRegExp2;
import mvx.regexp.RegExp;

/** VBScript's RegExp through the bridge: matches, their values and positions. */
public class BridgeRegExp {
    public static void main(String[] args) {
        try (RegExp regExp = new RegExp()) {
            IRegExp2 re = regExp.getIRegExp2();
            re.setPattern("[0-9]+");
            re.setGlobal(true);
            IMatchCollection2 matches = new IMatchCollection2(re.Execute("a1 b22 c333"));
            Checks.check(matches.getCount() == 3, "three matches");
            StringBuilder values = new StringBuilder();
            for (MivraObject item : matches) {
                IMatch2 match = new IMatch2(item);
                values.append(match.getValue()).append('@').append(match.getFirstIndex()).append(' ');
            }
            Checks.check(values.toString().equals("1@1 22@4 333@8 "), "values and positions: " + values);
            Checks.check(re.Test("no digits") == false, "Test without a match");
        }
    }
}
