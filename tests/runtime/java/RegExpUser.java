package rt.user;

import rt.regexp.*;

/** Drives VBScript.RegExp as a user would. */
public class RegExpUser {
	public static void main( String[] args ) throws MivraException
	{
		RegExp regexp = new RegExp();
		IRegExp2 re = regexp.getIRegExp2();
		re.setPattern( "\\w+" );
		re.setGlobal( true );
		re.setIgnoreCase( false );
		boolean global = re.getGlobal();
		IMatchCollection2 matches = new IMatchCollection2( re.Execute( "one two three" ));
		for ( int i = 0; i < matches.getCount(); ++i ) {
			IMatch2 match = new IMatch2( matches.getItem( i ));
			System.out.println( match.getValue() + " at " + match.getFirstIndex() + ", " + match.getLength() );
		}
		String replaced = re.Replace( "banana", new MivraVariant( 7 ));
		System.out.println( replaced + " " + global + " " + re.Test( "x" ) + " " + re.getPattern() );
	}
}
